#pragma once
// Stamped commits, the version list and the run history kept in the document.
//
// A stamped commit closes the pending change with the wall clock. With a message and an action
// context the change's message is the JSON object {"message": …, "context": …}; `versions` reads
// both back (a plain message reads as itself, with no context).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "interfaces/base/error.h"
#include "interfaces/crdt/document.h"
#include "interfaces/docmodel/schema.h"

namespace pelto::history {

int64_t wall_clock_ms();

// Nothing when the pending change holds no operation.
std::optional<crdt::ChangeHash> commit_stamped(crdt::Document& doc);
std::optional<crdt::ChangeHash> commit_stamped_with_message(
    crdt::Document& doc, std::string_view message, const std::optional<nlohmann::json>& context = std::nullopt);

struct Version {
  crdt::ChangeHash hash;
  std::string actor_hex;
  uint64_t seq = 0;
  int64_t time_ms = 0;
  std::optional<std::string> message;
  std::optional<nlohmann::json> context;
  bool genesis = false;
};

// Every change, in causal order.
std::vector<Version> versions(const crdt::Document& doc);
bool is_schema_genesis(const crdt::ChangeMeta& change);

// One run of the agent, as recorded in the document.
struct RunEntry {
  std::string run_id;
  std::string request;
  std::string decision;
  std::optional<std::string> assigned_by;
  std::string author;  // the actor, in hex
  int64_t time_ms = 0;
  std::string outcome;
  friend bool operator==(const RunEntry&, const RunEntry&) = default;
};

// Appends one entry to the run history (into the pending change).
Result<void> record_run(crdt::Document& doc, model::Model& model, const RunEntry& entry);
// Entries in the order they were recorded; entries without a run id are skipped.
std::vector<RunEntry> runs(const crdt::Document& doc, const model::Model& model);

}  // namespace pelto::history
