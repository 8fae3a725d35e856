#pragma once
// The collaboration client: one participant's connection to the room broker, bound to one route.
//
//   auto fd = connect_unix("/run/room.sock");                          // or InheritedEndpoint{}
//   PELTO_TRY(auto manager, CollaborationManager::for_route_from(route, Role::agent, "Vesk",
//                                                                ConnectedSocket{std::move(*fd)}), "...");
//   manager.join_route(route.room);
//   manager.send(DocumentRequest{});
//   for (auto& event : *manager.poll()) if (auto m = event.document_mutation(); m && *m) ...
//
// Contract:
// - for_route_from sends the hello (role, connection id, route, optional signing key) at once; the
//   participant is in no room until join_route.
// - Nothing blocks. poll() reads what the socket has, decodes every complete frame and returns the
//   events in arrival order (empty: nothing new). send() and send_to_route() queue the frame and
//   write what the socket takes; the rest goes out on later calls (any of poll, send, flush).
//   flush() is the one call that waits, for a participant that is about to leave.
// - A closed connection, a frame above 256 MiB and a frame that does not decode end the connection:
//   the events decoded before it are returned first, then every call returns the failure.
// - Single-threaded: one thread uses a manager at a time. Move-only; the socket closes with it.
#include <chrono>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "interfaces/base/error.h"
#include "interfaces/collab/connection.h"
#include "interfaces/collab/messages.h"
#include "interfaces/collab/socket.h"

namespace pelto::collab {

// The connected socket a launching session handed down through PELTO_SVC_COLLAB_FD.
struct InheritedEndpoint {};
// A socket the participant connected itself (see connect_unix).
struct ConnectedSocket {
  UniqueFd fd;
};
using Transport = std::variant<InheritedEndpoint, ConnectedSocket>;

// One message the broker delivered, with who sent it (absent for the broker's own replies).
struct CollabEvent {
  std::optional<Sender> sender;
  Body body;

  bool is_document_mutation() const { return std::holds_alternative<DocumentMutationMessage>(body); }
  // The snapshot or change a document-mutation event carries. nullopt when this is no document
  // mutation or the mutation lost its payload; an error when the payload is empty.
  Result<std::optional<DocumentMutation>> document_mutation() const;
  // The body as one kind, or nullptr.
  template <class T>
  const T* get() const {
    return std::get_if<T>(&body);
  }
};

class CollaborationManager {
 public:
  static Result<CollaborationManager> for_route_from(Route route, Role role, std::string connection_id,
                                                     Transport transport);
  // The same, for a connection that signs itself with a key.
  static Result<CollaborationManager> for_route_from(Route route, Role role, std::string connection_id,
                                                     Transport transport, Bytes signing_key);

  CollaborationManager(CollaborationManager&&) = default;
  CollaborationManager& operator=(CollaborationManager&&) = default;

  // Enters the room: the route's room becomes `room`.
  Result<void> join_route(const RoomId& room);
  Result<std::vector<CollabEvent>> poll();
  // To the room; the broker routes by kind (mutations and presence to the room's other participants,
  // a document request to the participants of this route, catalogue and task traffic to the host).
  Result<void> send(Body body);
  // To the participants of `route` only.
  Result<void> send_to_route(const Route& route, Body body);
  // Waits until everything queued is written, at most `timeout`.
  Result<void> flush(std::chrono::milliseconds timeout);

  const Route& route() const { return route_; }
  const std::string& connection_id() const { return connection_id_; }
  // For callers that want to wait for readability with poll(2).
  int fd() const { return connection_.fd(); }
  size_t unsent_bytes() const { return connection_.unsent_bytes(); }

 private:
  CollaborationManager(Route route, std::string id, Connection connection)
      : route_(std::move(route)), connection_id_(std::move(id)), connection_(std::move(connection)) {}
  static Result<CollaborationManager> open(Route route, Role role, std::string connection_id,
                                           Transport transport, std::optional<Bytes> signing_key);

  Route route_;
  std::string connection_id_;
  Connection connection_;
};

}  // namespace pelto::collab
