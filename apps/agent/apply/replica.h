#pragma once
// Replicas of the room's documents: the addressed document and one per other application seen.
//
// Every replica carries the agent's actor (the UTF-8 bytes of its name), so all the agent's changes
// in every document carry the same actor. Changes that arrive from the room are merged with the
// pending incremental save discarded, so the room's own history is never sent back to it.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include <nlohmann/json.hpp>

#include "apps/agent/apply/app_table.h"
#include "interfaces/base/error.h"
#include "interfaces/crdt/document.h"
#include "interfaces/docmodel/read.h"
#include "interfaces/docmodel/schema.h"

namespace pelto::agent {

struct Replica {
  crdt::Document doc;
  const AppEntry* app = nullptr;
  // The action context of the run in progress, stamped onto every commit the run makes.
  std::optional<nlohmann::json> run_context;
};

using Bytes = std::span<const uint8_t>;

// The snapshot taken as the agent's document: claimed, loaded, given the agent's actor.
Result<Replica> load_addressed_document(Bytes bytes, const crdt::ActorId& actor);
// A snapshot loaded as a replica of the given application.
Result<Replica> load_peer_snapshot(Bytes bytes, const AppEntry* app, const crdt::ActorId& actor);

// Merges a whole snapshot of the same application; false (replica untouched) when it does not
// load, is not that application's document, or does not merge.
bool absorb_snapshot(Replica& replica, Bytes bytes);
// The same, saying why it did not merge.
Result<void> absorb(Replica& replica, Bytes bytes);
// Applies an incremental change; false (replica untouched) when it does not decode, depends on a
// change the replica lacks, or moves nothing.
bool apply_incremental(Replica& replica, Bytes bytes);

// A snapshot that is not the addressed document: merged into the replica of the application that
// claims it, or added as a new replica. Only loading a new replica can fail.
Result<void> peer_state(std::vector<Replica>& others, Bytes bytes, const crdt::ActorId& actor);

struct OpenedModel {
  model::Model model;
  model::Snapshot snapshot;
};
// The document model of a replica, materialized.
Result<OpenedModel> open_model(const Replica& replica);

// After an action ran on a replica: closes its pending change as one stamped commit (with the
// message and the replica's run context) and takes the incremental save, which is the agent's
// change for the room. Nothing when the action changed nothing.
struct StampedChange {
  std::vector<uint8_t> bytes;
  bool stamped = false;  // false: the action closed its own transaction
};
std::optional<StampedChange> stamp_commit(Replica& replica, std::string_view message,
                                          std::string_view action,
                                          const std::vector<crdt::ChangeHash>& heads_before);

}  // namespace pelto::agent
