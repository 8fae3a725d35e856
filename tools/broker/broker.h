#pragma once
// The room broker: one process that keeps rooms and their participants and routes the room wire
// between them (interfaces/collab/wire.capnp). Single-threaded: one poll(2) loop over the listening
// sockets and every participant's connection; nothing blocks on one participant.
//
// A participant's first message is its hello (role, connection id, route); join puts it in a room
// (the room's number is given in order of first join, from 1). Routing of what a participant sends:
//
//   to a route (send_to_route)     the participants of that route (app, room and record all equal)
//   documentRequest                the other participants of the sender's own route; dropped when none
//   documentWanted, documentMutation, presence (announce, action started, caret, finished)
//                                  the room's other participants
//   cataloguePublish               kept: replaces what the sender published before
//   catalogueRequest               answered by the broker: what the room's other participants published,
//                                  each entry's provider room the room's number in decimal; refused
//                                  before the sender joined a room
//   actionRequest                  to the participant of the room that published that resource id and
//                                  action id; refused (admission) when none does
//   admission, actionStatus        from that publisher back to the requester of the invocation
//   statusQuery, cancelRequest     from the requester to the publisher; a status query for an
//                                  invocation the broker does not know is answered "unknown"
//   taskRun, taskRunStatus, cancellationQuery, cancellationStatus
//                                  from a host to the room's other participants; from anyone else to
//                                  the room's hosts
//
// Every delivered message carries its sender (connection id, role, route). A participant that
// closes, sends a frame above 256 MiB or one that does not decode, speaks before its hello, or falls
// more than kMaxBacklog bytes behind in reading is dropped; the others are not disturbed. Each
// connection, hello, join and drop is logged (target "broker").
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "interfaces/base/error.h"
#include "interfaces/collab/connection.h"
#include "interfaces/collab/messages.h"
#include "interfaces/collab/socket.h"

namespace pelto::broker {

using collab::UniqueFd;

// A participant that does not read is dropped once this much waits for it.
inline constexpr size_t kMaxBacklog = size_t{768} << 20;

class Broker {
 public:
  Broker() = default;
  Broker(const Broker&) = delete;
  Broker& operator=(const Broker&) = delete;

  // A listening Unix stream socket to accept participants on.
  void add_listener(UniqueFd fd, std::string origin);
  // An already connected participant (handed over by a launcher).
  Result<void> add_participant(UniqueFd fd, std::string origin);

  // One round of the loop: waits up to `timeout_ms` (negative: no limit) for any socket, then
  // accepts, reads, routes and writes what is ready. Fails only when the broker itself cannot go on.
  Result<void> step(int timeout_ms);

  size_t participant_count() const { return participants_.size(); }

 private:
  struct Participant {
    uint64_t id = 0;
    std::string origin;
    collab::Connection connection;
    std::optional<collab::Hello> hello;
    std::optional<collab::RoomId> room;
    std::vector<collab::CatalogueEntry> published;
    bool dropped = false;
  };
  struct Invocation {
    uint64_t requester = 0;
    uint64_t host = 0;
  };

  void accept_from(int listener, const std::string& origin);
  void handle(Participant& from, collab::Envelope envelope);
  void route_to_room(Participant& from, collab::Envelope& envelope);
  void handle_action_traffic(Participant& from, collab::Envelope& envelope);
  void handle_task_traffic(Participant& from, collab::Envelope& envelope);
  void deliver(Participant& from, const collab::Body& body, const std::vector<Participant*>& to);
  void reply(Participant& to, collab::Body body);
  void drop(Participant& p, const std::string& reason, bool clean = false);
  std::vector<Participant*> room_members(const collab::RoomId& room, const Participant* except);
  collab::Route route_of(const Participant& p) const;
  uint64_t room_number(const collab::RoomId& room);
  Participant* find(uint64_t id);

  struct Listener {
    UniqueFd fd;
    std::string origin;
  };
  std::vector<Listener> listeners_;
  std::vector<std::unique_ptr<Participant>> participants_;  // in order of connection
  std::map<collab::RoomId, uint64_t> room_numbers_;
  std::map<std::string, Invocation> invocations_;
  uint64_t next_id_ = 1;
};

}  // namespace pelto::broker
