#pragma once
// A scripted participant's way into the room: the address it was given on the command line, joining
// the broker on that address, and waiting for what the room says.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "interfaces/base/error.h"
#include "interfaces/collab/manager.h"
#include "interfaces/collab/messages.h"

namespace pelto::room {

// The app every command addresses unless told otherwise.
inline constexpr const char* kDefaultApp = "so.pelto.word-processor";

// Where a participant joins: the broker's socket and the document's route.
struct RoomAddress {
  std::string socket;
  collab::Route route;  // app, room and record of the document
};

// Connects to the broker's socket, greets it as `role` with `connection_id` and joins the room.
Result<collab::CollaborationManager> join_room(const RoomAddress& address, collab::Role role,
                                               std::string connection_id);

// Waits until the connection has something to read (or, with frames queued, can write) or `timeout`
// passes, then polls. An interrupted wait (a signal) returns no events.
Result<std::vector<collab::CollabEvent>> next_events(collab::CollaborationManager& manager,
                                                     std::chrono::milliseconds timeout);

// Whether a route names the same document as `route`: app and record equal (the room is the one
// the participant joined).
bool same_document(const collab::Route& a, const collab::Route& b);

// A document mutation message of one kind.
collab::DocumentMutationMessage mutation(collab::DocumentMutation::Kind kind, collab::Bytes bytes);

}  // namespace pelto::room
