#include "apps/agent/apply/replica.h"

#include "interfaces/base/log.h"
#include "interfaces/docmodel/history.h"

namespace pelto::agent {
namespace {

constexpr std::string_view kTarget = "agent::apply";

Result<crdt::Document> load_as_agent(Bytes bytes, const crdt::ActorId& actor) {
  auto doc = crdt::Document::load(bytes);
  if (!doc) return fail(std::move(doc.error()));
  doc->set_actor(actor);
  doc->discard_pending_incremental();
  return std::move(*doc);
}

}  // namespace

Result<Replica> load_addressed_document(Bytes bytes, const crdt::ActorId& actor) {
  auto loaded = crdt::Document::load(bytes);
  const AppEntry* app = loaded ? claim(*loaded) : nullptr;
  if (app == nullptr) return fail("no app the agent speaks to claims this document");
  PELTO_TRY(auto doc, load_as_agent(bytes, actor), "load the document snapshot");
  return Replica{std::move(doc), app, std::nullopt};
}

Result<Replica> load_peer_snapshot(Bytes bytes, const AppEntry* app, const crdt::ActorId& actor) {
  PELTO_TRY(auto doc, load_as_agent(bytes, actor), "load a peer snapshot");
  return Replica{std::move(doc), app, std::nullopt};
}

Result<void> absorb(Replica& replica, Bytes bytes) {
  PELTO_TRY(auto incoming, crdt::Document::load(bytes), "load the snapshot");
  // Only a document of the replica's own application may merge into it.
  if (replica.app == nullptr || !replica.app->claims(incoming))
    return fail("the snapshot is not a document of the replica's application");
  PELTO_CHECK(replica.doc.merge(incoming), "merge the snapshot");
  replica.doc.discard_pending_incremental();
  return {};
}

bool absorb_snapshot(Replica& replica, Bytes bytes) { return absorb(replica, bytes).has_value(); }

bool apply_incremental(Replica& replica, Bytes bytes) {
  crdt::Document decoded;
  if (!decoded.load_incremental(bytes)) return false;
  for (const auto& dep : decoded.get_missing_deps())
    if (!replica.doc.get_change_meta(dep)) return false;
  auto before = replica.doc.heads();
  if (!replica.doc.load_incremental(bytes)) return false;
  replica.doc.discard_pending_incremental();
  return replica.doc.heads() != before;
}

Result<void> peer_state(std::vector<Replica>& others, Bytes bytes, const crdt::ActorId& actor) {
  const AppEntry* app = claim_bytes(bytes);
  if (app == nullptr) {
    log::debug(kTarget, "ignored a peer's state: no app here claims it", {{"bytes", bytes.size()}});
    return {};
  }
  for (auto& replica : others) {
    if (replica.app != app) continue;
    if (auto merged = absorb(replica, bytes); !merged) {
      log::warn(kTarget,
                "this app's own state would not merge into the replica held for it, so the agent "
                "cannot see what the room is doing there: " + merged.error().display(),
                {{"app", app->id}, {"bytes", bytes.size()}});
    }
    return {};
  }
  PELTO_TRY(auto replica, load_peer_snapshot(bytes, app, actor), "take a second application's document");
  others.push_back(std::move(replica));
  log::info(kTarget, "a second application's document joined the room", {{"app", app->id}, {"bytes", bytes.size()}});
  return {};
}

Result<OpenedModel> open_model(const Replica& replica) {
  auto opened = model::open(replica.doc);
  if (!opened) return failf("the document has no folio schema: {}", opened.error().display());
  auto snapshot = model::materialize(replica.doc, *opened);
  return OpenedModel{std::move(*opened), std::move(snapshot)};
}

std::optional<StampedChange> stamp_commit(Replica& replica, std::string_view message,
                                          std::string_view action,
                                          const std::vector<crdt::ChangeHash>& heads_before) {
  StampedChange change;
  if (replica.doc.pending_ops() > 0) {
    history::commit_stamped_with_message(replica.doc, message, replica.run_context);
    change.stamped = true;
  } else if (replica.doc.heads() != heads_before) {
    log::warn(kTarget,
              "this action closed its own transaction before the commit could be stamped, so its "
              "change carries no wall clock",
              {{"action", action}});
  } else {
    return std::nullopt;
  }
  change.bytes = replica.doc.save_incremental();
  return change;
}

}  // namespace pelto::agent
