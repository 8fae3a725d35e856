#include "tools/room/participant.h"

#include <poll.h>

#include <cerrno>
#include <cstring>

#include "interfaces/collab/socket.h"

namespace pelto::room {

Result<collab::CollaborationManager> join_room(const RoomAddress& address, collab::Role role,
                                               std::string connection_id) {
  PELTO_TRY(auto fd, collab::connect_unix(address.socket), "connect to the broker");
  PELTO_TRY(auto manager,
            collab::CollaborationManager::for_route_from(address.route, role, std::move(connection_id),
                                                         collab::ConnectedSocket{std::move(fd)}),
            "greet the broker");
  PELTO_CHECK(manager.join_route(address.route.room), "join the room");
  return manager;
}

Result<std::vector<collab::CollabEvent>> next_events(collab::CollaborationManager& manager,
                                                     std::chrono::milliseconds timeout) {
  pollfd p{manager.fd(), POLLIN, 0};
  if (manager.unsent_bytes() > 0) p.events |= POLLOUT;
  int n = ::poll(&p, 1, static_cast<int>(timeout.count()));
  if (n < 0) {
    if (errno == EINTR) return std::vector<collab::CollabEvent>{};
    return failf("wait for the broker: {}", std::strerror(errno));
  }
  if (n == 0) return std::vector<collab::CollabEvent>{};
  return with_context(manager.poll(), "read from the broker");
}

bool same_document(const collab::Route& a, const collab::Route& b) {
  return a.app == b.app && a.record == b.record;
}

collab::DocumentMutationMessage mutation(collab::DocumentMutation::Kind kind, collab::Bytes bytes) {
  return collab::DocumentMutationMessage{collab::DocumentMutation{kind, std::move(bytes)}};
}

}  // namespace pelto::room
