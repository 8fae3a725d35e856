#include "apps/agent/wire/connection.h"

#include <thread>

#include "interfaces/base/log.h"
#include "interfaces/collab/route.h"
#include "interfaces/collab/socket.h"

namespace pelto::agent::wire {
namespace {

constexpr const char* kTarget = "wire";

void report_unsent(const Result<void>& sent, const collab::Body& body) {
  if (!sent)
    log::debug(kTarget, "a message could not be sent",
               {{"kind", collab::kind_name(body)}, {"error", sent.error().message()}});
}

}  // namespace

const char* transport_name(Transport transport) {
  return transport == Transport::inherited ? "PELTO_SVC_COLLAB_FD" : "typed-endpoint";
}

Result<RoomConnection> RoomConnection::open(const ConnectSettings& settings) {
  if (settings.name.empty()) return fail(kNeedsId);
  collab::Route route{settings.app, settings.room, settings.record};
  if (!settings.endpoint) {
    PELTO_TRY(auto manager,
              collab::CollaborationManager::for_route_from(std::move(route), collab::Role::agent, settings.name,
                                                           collab::InheritedEndpoint{}),
              kInheritedContext);
    return RoomConnection(std::move(manager), Transport::inherited);
  }
  PELTO_TRY(auto fd, collab::connect_unix(*settings.endpoint), kTypedContext);
  PELTO_TRY(auto manager,
            collab::CollaborationManager::for_route_from(std::move(route), collab::Role::agent, settings.name,
                                                         collab::ConnectedSocket{std::move(fd)}),
            kTypedContext);
  return RoomConnection(std::move(manager), Transport::typed_endpoint);
}

Result<void> RoomConnection::join() {
  collab::RoomId room = manager_.route().room;
  PELTO_CHECK(manager_.join_route(room), "join the room");
  ask_for_document();
  send(collab::PresenceAnnounce{collab::room_text(room)});
  return {};
}

void RoomConnection::ask_for_document() { send(collab::DocumentRequest{}); }

void RoomConnection::send(collab::Body body) { report_unsent(manager_.send(body), body); }

void RoomConnection::send_to_route(const collab::Route& route, collab::Body body) {
  report_unsent(manager_.send_to_route(route, body), body);
}

Result<void> RoomConnection::flush(std::chrono::milliseconds timeout) {
  return with_context(manager_.flush(timeout), "send what is left for the room");
}

Result<std::optional<collab::CollabEvent>> RoomConnection::next_event(std::chrono::nanoseconds timeout) {
  using Clock = std::chrono::steady_clock;
  auto now = Clock::now();
  // A timeout past the clock's range waits forever.
  auto deadline = timeout >= Clock::time_point::max() - now ? Clock::time_point::max() : now + timeout;
  while (true) {
    PELTO_TRY(auto events, manager_.poll(), "wait for the room");
    for (auto& e : events) pending_.push_back(std::move(e));
    if (!pending_.empty()) {
      collab::CollabEvent first = std::move(pending_.front());
      pending_.pop_front();
      return std::optional<collab::CollabEvent>{std::move(first)};
    }
    now = Clock::now();
    if (now >= deadline) return std::optional<collab::CollabEvent>{};
    auto left = deadline - now;
    std::this_thread::sleep_for(left < kPumpStep ? left : std::chrono::nanoseconds(kPumpStep));
  }
}

void RoomConnection::put_back(std::vector<collab::CollabEvent> events) {
  for (auto it = events.rbegin(); it != events.rend(); ++it) pending_.push_front(std::move(*it));
}

Result<collab::DocumentMutation> mutation_of(const collab::CollabEvent& event) {
  PELTO_TRY(auto mutation, event.document_mutation(), "read the document event");
  if (!mutation) return fail(kLostMutation);
  return std::move(*mutation);
}

}  // namespace pelto::agent::wire
