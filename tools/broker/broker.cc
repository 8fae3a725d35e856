#include "tools/broker/broker.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "interfaces/base/log.h"
#include "interfaces/collab/codec.h"
#include "interfaces/collab/route.h"

namespace pelto::broker {
namespace {

constexpr const char* kTarget = "broker";

const char* role_name(collab::Role r) {
  switch (r) {
    case collab::Role::agent: return "agent";
    case collab::Role::application: return "application";
    case collab::Role::person: return "person";
    case collab::Role::host: return "host";
  }
  return "?";
}

template <class... T>
bool holds_any(const collab::Body& b) {
  return (std::holds_alternative<T>(b) || ...);
}

}  // namespace

void Broker::add_listener(UniqueFd fd, std::string origin) {
  if (auto r = collab::set_nonblocking(fd.get()); !r) log::warn(kTarget, "listener stays blocking", {{"error", r.error().message()}});
  log::info(kTarget, "listening for participants", {{"origin", origin}});
  listeners_.push_back({std::move(fd), std::move(origin)});
}

Result<void> Broker::add_participant(UniqueFd fd, std::string origin) {
  PELTO_TRY(auto connection, collab::Connection::adopt(std::move(fd)), "take a participant");
  auto p = std::make_unique<Participant>(Participant{next_id_++, std::move(origin), std::move(connection), {}, {}, {}, false});
  log::info(kTarget, "participant connected", {{"participant", p->id}, {"origin", p->origin}});
  participants_.push_back(std::move(p));
  return {};
}

void Broker::accept_from(int listener, const std::string& origin) {
  while (true) {
    int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK)
        log::warn(kTarget, "could not accept a participant", {{"error", std::strerror(errno)}});
      return;
    }
    if (auto r = add_participant(UniqueFd(fd), origin); !r)
      log::warn(kTarget, "could not accept a participant", {{"error", r.error().display()}});
  }
}

Result<void> Broker::step(int timeout_ms) {
  std::vector<pollfd> fds;
  for (const auto& l : listeners_) fds.push_back({l.fd.get(), POLLIN, 0});
  std::vector<Participant*> polled;
  for (const auto& p : participants_) {
    short events = POLLIN;
    if (p->connection.wants_write()) events |= POLLOUT;
    fds.push_back({p->connection.fd(), events, 0});
    polled.push_back(p.get());
  }
  int rc = ::poll(fds.data(), fds.size(), timeout_ms);
  if (rc < 0) {
    if (errno == EINTR) return {};
    return failf("wait for participants: {}", std::strerror(errno));
  }
  for (size_t i = 0; i < listeners_.size(); ++i)
    if (fds[i].revents & POLLIN) accept_from(listeners_[i].fd.get(), listeners_[i].origin);
  for (size_t i = 0; i < polled.size(); ++i) {
    Participant& p = *polled[i];
    short revents = fds[listeners_.size() + i].revents;
    if (p.dropped) continue;
    if (revents & (POLLIN | POLLHUP | POLLERR)) {
      auto envelopes = p.connection.read_available();
      if (!envelopes) {
        bool closed = envelopes.error().message().find("closed the connection") != std::string::npos;
        drop(p, envelopes.error().message(), closed);
        continue;
      }
      for (auto& e : *envelopes) {
        if (p.dropped) break;
        handle(p, std::move(e));
      }
      // What came before a failure was handled above; the failure itself shows on the next call.
      if (!p.dropped && p.connection.failure()) drop(p, p.connection.failure()->message(),
                                                    p.connection.failure()->message().find("closed the connection") != std::string::npos);
    }
    if (!p.dropped && (revents & POLLOUT)) {
      if (auto r = p.connection.flush_some(); !r) drop(p, r.error().message());
    }
  }
  std::erase_if(participants_, [](const auto& p) { return p->dropped; });
  return {};
}

collab::Route Broker::route_of(const Participant& p) const {
  collab::Route r = p.hello ? p.hello->route : collab::Route{};
  if (p.room) r.room = *p.room;
  return r;
}

uint64_t Broker::room_number(const collab::RoomId& room) {
  auto [it, added] = room_numbers_.try_emplace(room, room_numbers_.size() + 1);
  return it->second;
}

Broker::Participant* Broker::find(uint64_t id) {
  for (auto& p : participants_)
    if (p->id == id && !p->dropped) return p.get();
  return nullptr;
}

std::vector<Broker::Participant*> Broker::room_members(const collab::RoomId& room, const Participant* except) {
  std::vector<Participant*> out;
  for (auto& p : participants_)
    if (p.get() != except && !p->dropped && p->room && *p->room == room) out.push_back(p.get());
  return out;
}

void Broker::drop(Participant& p, const std::string& reason, bool clean) {
  if (p.dropped) return;
  p.dropped = true;
  std::optional<std::string> id;
  if (p.hello) id = p.hello->connection_id;
  if (clean)
    log::info(kTarget, "participant left", {{"participant", p.id}, {"id", id}});
  else
    log::warn(kTarget, "dropped a participant", {{"participant", p.id}, {"id", id}, {"reason", reason}});
  std::erase_if(invocations_, [&](const auto& kv) { return kv.second.host == p.id || kv.second.requester == p.id; });
}

void Broker::reply(Participant& to, collab::Body body) {
  if (auto r = to.connection.queue(collab::Envelope{collab::ToRoom{}, std::nullopt, std::move(body)}); !r)
    drop(to, r.error().message());
}

void Broker::deliver(Participant& from, const collab::Body& body, const std::vector<Participant*>& to) {
  if (to.empty()) return;
  collab::Envelope e{collab::ToRoom{}, collab::Sender{from.hello->connection_id, from.hello->role, route_of(from)}, body};
  auto encoded = collab::encode(e);
  if (!encoded) {
    log::warn(kTarget, "could not relay a message", {{"participant", from.id}, {"error", encoded.error().display()}});
    return;
  }
  auto frame = std::make_shared<const collab::Bytes>(std::move(*encoded));
  for (Participant* p : to) {
    if (p->dropped) continue;
    if (auto r = p->connection.queue_frame(frame); !r) {
      drop(*p, r.error().message());
    } else if (p->connection.unsent_bytes() > kMaxBacklog) {
      drop(*p, "fell too far behind in reading");
    }
  }
}

void Broker::handle(Participant& from, collab::Envelope envelope) {
  auto& body = envelope.body;
  if (auto* hello = std::get_if<collab::Hello>(&body)) {
    if (from.hello) return drop(from, "said hello twice");
    if (hello->connection_id.empty()) return drop(from, "said hello without a connection id");
    from.hello = std::move(*hello);
    log::info(kTarget, "participant said hello",
              {{"participant", from.id}, {"id", from.hello->connection_id}, {"role", role_name(from.hello->role)},
               {"app", from.hello->route.app}, {"record", from.hello->route.record}});
    return;
  }
  if (!from.hello) return drop(from, fmt::format("sent {} before its hello", collab::kind_name(body)));
  if (auto* join = std::get_if<collab::Join>(&body)) {
    from.room = join->room;
    log::info(kTarget, "participant joined a room",
              {{"participant", from.id}, {"id", from.hello->connection_id}, {"room", collab::room_text(join->room)},
               {"number", room_number(join->room)}});
    return;
  }
  if (!from.room) {
    if (holds_any<collab::CatalogueRequest>(body))
      return reply(from, collab::CatalogueReply{collab::CatalogueRefusal{"join a room first"}});
    if (auto* a = std::get_if<collab::ActionRequest>(&body))
      return reply(from, collab::Admission{a->invocation, "join a room first"});
    log::debug(kTarget, "a message from outside any room; not relayed",
               {{"participant", from.id}, {"kind", collab::kind_name(body)}});
    return;
  }
  if (auto* target = std::get_if<collab::Route>(&envelope.target)) {
    std::vector<Participant*> to;
    for (Participant* p : room_members(*from.room, &from))
      if (route_of(*p) == *target) to.push_back(p);
    if (to.empty())
      log::debug(kTarget, "no participant on that route", {{"participant", from.id}, {"route", collab::describe(*target)}});
    return deliver(from, body, to);
  }
  route_to_room(from, envelope);
}

void Broker::route_to_room(Participant& from, collab::Envelope& envelope) {
  auto& body = envelope.body;
  const collab::RoomId room = *from.room;
  if (std::holds_alternative<collab::DocumentRequest>(body)) {
    std::vector<Participant*> to;
    const auto own = route_of(from);
    for (Participant* p : room_members(room, &from))
      if (route_of(*p) == own) to.push_back(p);
    if (to.empty())
      log::debug(kTarget, "nobody serves that route; dropped the request",
                 {{"participant", from.id}, {"route", collab::describe(own)}});
    return deliver(from, body, to);
  }
  if (holds_any<collab::DocumentWanted, collab::DocumentMutationMessage, collab::PresenceAnnounce,
                collab::ActionStarted, collab::CaretPosition, collab::ActionFinished>(body))
    return deliver(from, body, room_members(room, &from));
  if (auto* publish = std::get_if<collab::CataloguePublish>(&body)) {
    from.published = std::move(publish->entries);
    log::info(kTarget, "participant published operations",
              {{"participant", from.id}, {"id", from.hello->connection_id}, {"actions", from.published.size()}});
    return;
  }
  if (std::holds_alternative<collab::CatalogueRequest>(body)) {
    std::vector<collab::CatalogueEntry> entries;
    std::string number = std::to_string(room_number(room));
    for (Participant* p : room_members(room, &from))
      for (auto entry : p->published) {
        entry.provider_room = number;
        entries.push_back(std::move(entry));
      }
    return reply(from, collab::CatalogueReply{std::move(entries)});
  }
  if (holds_any<collab::ActionRequest, collab::Admission, collab::StatusQuery, collab::ActionStatus,
                collab::CancelRequest>(body))
    return handle_action_traffic(from, envelope);
  if (holds_any<collab::TaskRun, collab::TaskRunStatus, collab::CancellationQuery, collab::CancellationStatus>(body))
    return handle_task_traffic(from, envelope);
  log::debug(kTarget, "a message the broker does not relay", {{"participant", from.id}, {"kind", collab::kind_name(body)}});
}

void Broker::handle_action_traffic(Participant& from, collab::Envelope& envelope) {
  auto& body = envelope.body;
  if (auto* a = std::get_if<collab::ActionRequest>(&body)) {
    for (Participant* p : room_members(*from.room, &from))
      for (const auto& entry : p->published)
        if (entry.resource_id == a->resource_id && entry.action_id == a->action_id) {
          invocations_[a->invocation] = Invocation{from.id, p->id};
          return deliver(from, body, {p});
        }
    return reply(from, collab::Admission{a->invocation, fmt::format("no participant of this room publishes {}#{}",
                                                                    a->resource_id, a->action_id)});
  }
  auto invocation_of = [](const collab::Body& b) -> std::string {
    return std::visit(
        [](const auto& m) -> std::string {
          if constexpr (requires { m.invocation; }) return m.invocation;
          else return {};
        },
        b);
  };
  auto it = invocations_.find(invocation_of(body));
  bool from_host = it != invocations_.end() && it->second.host == from.id;
  bool from_requester = it != invocations_.end() && it->second.requester == from.id;
  if (holds_any<collab::Admission, collab::ActionStatus>(body)) {
    if (!from_host) return;  // an answer nobody asked this participant for
    if (Participant* to = find(it->second.requester)) deliver(from, body, {to});
    return;
  }
  // statusQuery, cancelRequest
  if (!from_requester) {
    if (auto* q = std::get_if<collab::StatusQuery>(&body))
      reply(from, collab::ActionStatus{q->invocation, collab::ActionState::unknown, "", "no such invocation"});
    return;
  }
  if (Participant* to = find(it->second.host)) deliver(from, body, {to});
}

void Broker::handle_task_traffic(Participant& from, collab::Envelope& envelope) {
  std::vector<Participant*> to;
  for (Participant* p : room_members(*from.room, &from)) {
    bool is_host = p->hello && p->hello->role == collab::Role::host;
    if (from.hello->role == collab::Role::host || is_host) to.push_back(p);
  }
  deliver(from, envelope.body, to);
}

}  // namespace pelto::broker
