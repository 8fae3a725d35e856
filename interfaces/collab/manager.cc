#include "interfaces/collab/manager.h"

namespace pelto::collab {
Result<std::optional<DocumentMutation>> CollabEvent::document_mutation() const {
  const auto* m = std::get_if<DocumentMutationMessage>(&body);
  if (m == nullptr || !m->mutation) return std::optional<DocumentMutation>{};
  if (m->mutation->bytes.empty())
    return fail(m->mutation->kind == DocumentMutation::Kind::snapshot ? "a document snapshot of no bytes"
                                                                      : "a document change of no bytes");
  return std::optional<DocumentMutation>{*m->mutation};
}

Result<CollaborationManager> CollaborationManager::for_route_from(Route route, Role role,
                                                                  std::string connection_id,
                                                                  Transport transport) {
  return open(std::move(route), role, std::move(connection_id), std::move(transport), std::nullopt);
}

Result<CollaborationManager> CollaborationManager::for_route_from(Route route, Role role,
                                                                  std::string connection_id,
                                                                  Transport transport, Bytes signing_key) {
  return open(std::move(route), role, std::move(connection_id), std::move(transport),
              std::move(signing_key));
}

Result<CollaborationManager> CollaborationManager::open(Route route, Role role, std::string connection_id,
                                                        Transport transport, std::optional<Bytes> key) {
  if (connection_id.empty()) return fail("a room connection needs an id");
  UniqueFd fd;
  if (std::holds_alternative<InheritedEndpoint>(transport)) {
    PELTO_TRY(fd, inherited_collab_fd(), "take the inherited room socket");
  } else {
    fd = std::move(std::get<ConnectedSocket>(transport).fd);
  }
  PELTO_TRY(auto connection, Connection::adopt(std::move(fd)), "open the room connection");
  CollaborationManager manager(route, connection_id, std::move(connection));
  PELTO_CHECK(manager.connection_.queue(Envelope{
                  ToRoom{}, std::nullopt, Hello{role, std::move(connection_id), std::move(route), std::move(key)}}),
              "greet the broker");
  return manager;
}

Result<void> CollaborationManager::join_route(const RoomId& room) {
  PELTO_CHECK(connection_.queue(Envelope{ToRoom{}, std::nullopt, Join{room}}), "join the room");
  route_.room = room;
  return {};
}

Result<std::vector<CollabEvent>> CollaborationManager::poll() {
  // Written first so a peer waiting on our output is not kept waiting by our reading.
  if (connection_.wants_write()) PELTO_CHECK(connection_.flush_some(), "poll the room");
  PELTO_TRY(auto envelopes, connection_.read_available(), "poll the room");
  std::vector<CollabEvent> events;
  events.reserve(envelopes.size());
  for (auto& e : envelopes) events.push_back(CollabEvent{std::move(e.sender), std::move(e.body)});
  return events;
}

Result<void> CollaborationManager::send(Body body) {
  return connection_.queue(Envelope{ToRoom{}, std::nullopt, std::move(body)});
}

Result<void> CollaborationManager::send_to_route(const Route& route, Body body) {
  return connection_.queue(Envelope{route, std::nullopt, std::move(body)});
}

Result<void> CollaborationManager::flush(std::chrono::milliseconds timeout) {
  return connection_.flush(static_cast<int>(timeout.count()));
}

}  // namespace pelto::collab
