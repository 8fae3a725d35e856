#include "tools/room/write.h"

#include <optional>

#include "interfaces/base/log.h"
#include "interfaces/collab/route.h"
#include "tools/room/served.h"

namespace pelto::room {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kTarget = "room";

milliseconds until(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? left : milliseconds(0);
}

// A snapshot of our document that opens as one, or nothing.
std::optional<RoomDocument> take_snapshot(const collab::CollabEvent& event, const collab::Route& route) {
  if (event.sender && !same_document(event.sender->route, route)) return std::nullopt;
  auto read = event.document_mutation();
  if (!read || !*read || (*read)->kind != collab::DocumentMutation::Kind::snapshot) return std::nullopt;
  auto doc = RoomDocument::from_snapshot((*read)->bytes, crdt::ActorId::random());
  if (!doc) {
    log::warn(kTarget, "refused a snapshot", {{"reason", doc.error().display()}});
    return std::nullopt;
  }
  return std::move(*doc);
}

Result<RoomDocument> await_document(collab::CollaborationManager& manager, const WriteOptions& options) {
  const auto& route = options.address.route;
  collab::DocumentWanted ask{route.app, route.record};
  auto deadline = Clock::now() + options.timeout;
  auto asked = Clock::now();
  PELTO_CHECK(manager.send(ask), "ask for the document");
  for (;;) {
    auto wait = std::min(until(deadline), milliseconds(100));
    PELTO_TRY(auto events, next_events(manager, wait), "wait for the document");
    for (const auto& event : events)
      if (auto doc = take_snapshot(event, route)) return std::move(*doc);
    if (Clock::now() >= deadline)
      return failf("no participant answered with the document of {} within {} ms", collab::describe(route),
                   options.timeout.count());
    if (Clock::now() - asked >= kAskAgain) {
      PELTO_CHECK(manager.send(ask), "ask for the document again");
      asked = Clock::now();
    }
  }
}

}  // namespace

Result<size_t> write(const WriteOptions& options) {
  PELTO_TRY(auto manager, join_room(options.address, collab::Role::person, options.name), "join the room");
  PELTO_TRY(auto doc, await_document(manager, options), "get the document");
  PELTO_TRY(auto changes, doc.append_paragraph(options.text, options.per_character), "write the paragraph");
  for (size_t i = 0; i < changes.size(); ++i) {
    if (i > 0 && options.pace.count() > 0) {
      // Keep reading while pausing, so the broker is never held up by us.
      auto resume = Clock::now() + options.pace;
      while (Clock::now() < resume) PELTO_CHECK(next_events(manager, until(resume)), "pause between changes");
    }
    PELTO_CHECK(manager.send(mutation(collab::DocumentMutation::Kind::change, std::move(changes[i]))),
                "send the change");
  }
  PELTO_CHECK(manager.flush(options.timeout), "send the changes");
  log::info(kTarget, "wrote the paragraph",
            {{"changes", changes.size()}, {"room", collab::room_text(options.address.route.room)}});
  return changes.size();
}

}  // namespace pelto::room
