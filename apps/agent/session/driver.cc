#include "apps/agent/session/driver.h"

#include <fmt/format.h>

#include "apps/agent/session/instruction.h"
#include "interfaces/actions/contract.h"
#include "interfaces/base/log.h"
#include "interfaces/docmodel/read.h"

namespace pelto::agent {
namespace {

constexpr std::string_view kTarget = "agent::session";

std::vector<BlockView> body_blocks(const model::Snapshot& snapshot) {
  std::vector<BlockView> blocks;
  for (const auto& b : snapshot.region(model::Region::Body).blocks) blocks.push_back({b.id, b.kind, b.text});
  return blocks;
}

// Whether a document holds a paragraph addressed to the agent, handled or not.
bool has_addressed_paragraph(const crdt::Document& doc, std::string_view name) {
  auto opened = model::open(doc);
  if (!opened) return false;
  auto snapshot = model::materialize(doc, *opened);
  auto blocks = body_blocks(snapshot);
  return find_instruction(blocks, name).has_value();
}

void answer_document_request(SessionRecord& s, const collab::CollabEvent& event,
                             const collab::DocumentWanted& wanted) {
  if (wanted.app == s.settings.app && wanted.record == s.settings.record && s.document) {
    s.connection.send(collab::DocumentMutationMessage{
        collab::DocumentMutation{collab::DocumentMutation::Kind::snapshot, s.document->doc.save()}});
    return;
  }
  if (!event.sender) return;
  for (auto& replica : s.others) {
    if (replica.app->id != wanted.app) continue;
    s.connection.send_to_route(event.sender->route,
                               collab::DocumentMutationMessage{collab::DocumentMutation{
                                   collab::DocumentMutation::Kind::snapshot, replica.doc.save()}});
    return;
  }
}

Result<bool> take_snapshot(SessionRecord& s, const collab::Bytes& bytes) {
  if (!s.document) {
    auto loaded = crdt::Document::load(bytes);
    if (loaded && model::open(*loaded)) {
      PELTO_TRY(auto replica, load_addressed_document(bytes, s.actor), "take the addressed document");
      s.document = std::move(replica);
      log::info(kTarget, "received the document", {{"bytes", bytes.size()}});
      return true;
    }
    PELTO_CHECK(peer_state(s.others, bytes, s.actor), "take a peer's state");
    return false;
  }
  if (absorb_snapshot(*s.document, bytes)) return true;
  // A different history: it replaces the held document only when it, and not the held one, is
  // addressed to the agent.
  if (!has_addressed_paragraph(s.document->doc, s.settings.name)) {
    auto incoming = crdt::Document::load(bytes);
    if (incoming && has_addressed_paragraph(*incoming, s.settings.name)) {
      PELTO_TRY(auto replica, load_peer_snapshot(bytes, claim(*incoming), s.actor), "take a different document");
      s.document = std::move(replica);
      log::info(kTarget, fmt::format("took a different document: this is the one addressed to {}", s.settings.name),
                {{"bytes", bytes.size()}});
      return true;
    }
  }
  PELTO_CHECK(peer_state(s.others, bytes, s.actor), "take a peer's state");
  return false;
}

bool take_change(SessionRecord& s, const collab::Bytes& bytes) {
  if (s.document && apply_incremental(*s.document, bytes)) return true;
  for (auto& replica : s.others)
    if (apply_incremental(replica, bytes)) return true;
  return false;
}

bool catalogue_due(const SessionRecord& s) {
  return !s.catalogue || Clock::now() - s.catalogue->fetched_at >= kCatalogueAtMostEvery;
}

// Looks at the held document after a change. Instructions are only reported here: carrying them
// out needs the planners, which this agent does not have yet.
Result<bool> look_at_document(SessionRecord& s) {
  PELTO_TRY(auto opened, open_model(*s.document), "open the document");
  auto blocks = body_blocks(opened.snapshot);
  auto instruction = find_instruction(blocks, s.settings.name);
  log::debug(kTarget, "the document changed",
             {{"blocks", blocks.size()}, {"heads", s.document->doc.heads().size()},
              {"block", instruction ? std::optional<std::string>(instruction->block_id) : std::nullopt},
              {"asked", instruction ? std::optional<std::string>(instruction->request) : std::nullopt}});
  return false;
}

}  // namespace

std::string give_up_message(const Settings& settings) {
  std::string record = settings.record ? "record " + actions::debug_quote(*settings.record) : "no record (an untitled document)";
  return fmt::format(
      "no participant answered with a document in {}s. Announced app={} room={} and {}. The broker "
      "matches all three and drops what does not match, so if the app has a file open its record is "
      "`file:<path>` and this agent must be given the same one with --record.",
      settings.await_document.seconds, settings.app, room_text(settings.room), record);
}

Result<TickOutcome> tick(SessionRecord& s) {
  TickOutcome outcome;
  if (!s.document && Clock::now() - s.last_ask >= kAskAgainEvery) {
    s.connection.ask_for_document();
    s.last_ask = Clock::now();
    log::debug(kTarget, "asked the room for the document again");
  }
  PELTO_TRY(auto event, s.connection.next_event(kTickWait), "wait for the room");
  if (!event) return outcome;

  if (const auto* wanted = event->get<collab::DocumentWanted>()) {
    answer_document_request(s, *event, *wanted);
    return outcome;
  }
  if (!event->is_document_mutation()) return outcome;
  PELTO_TRY(auto mutation, wire::mutation_of(*event), "read a document mutation");
  bool changed = false;
  if (mutation.kind == collab::DocumentMutation::Kind::snapshot) {
    PELTO_TRY(changed, take_snapshot(s, mutation.bytes), "take a snapshot");
  } else {
    changed = take_change(s, mutation.bytes);
  }
  if (!changed) return outcome;
  outcome.document_changed = true;

  if (catalogue_due(s)) PELTO_CHECK(fetch_catalogue(s.connection, s.catalogue), "fetch the action catalogue");
  if (!s.document) return outcome;
  PELTO_TRY(outcome.instruction_carried_out, look_at_document(s), "look at the document");
  return outcome;
}

Result<void> run_document_session(SessionRecord& s) {
  const auto start = Clock::now();
  const auto give_up = s.settings.await_document.to_chrono();
  for (;;) {
    PELTO_TRY(auto outcome, tick(s), "run the document session");
    if (outcome.instruction_carried_out && s.settings.once) return {};
    if (!s.document && !s.settings.await_document.is_zero() && Clock::now() - start >= give_up)
      return fail(give_up_message(s.settings));
  }
}

}  // namespace pelto::agent
