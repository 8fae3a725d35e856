#pragma once
// The agent's room connection: the collaboration client bound to the agent's route, plus the queue
// of events received and not yet consumed, and the event pump every run mode waits on.
//
// Open identifies the agent as the role `agent` with its name as the connection id, through the
// inherited broker socket (PELTO_SVC_COLLAB_FD) when no endpoint is given, else by connecting to the
// endpoint's socket path. Join enters the room, then asks for the document, then announces the
// agent with the room id's text. Sends never wait and their failures are not reported (a broken
// connection shows in the next event wait instead).
//
// Used from the main thread only. Move-only; dropping it closes the connection.
#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "interfaces/base/error.h"
#include "interfaces/collab/manager.h"

namespace pelto::agent::wire {

inline constexpr const char* kNeedsId = "agent connection needs an id";
inline constexpr const char* kInheritedContext = "connect through PELTO_SVC_COLLAB_FD";
inline constexpr const char* kTypedContext = "start typed collaboration client";
inline constexpr const char* kLostMutation = "document event lost its mutation";
// The longest sleep between two polls of the event pump.
inline constexpr auto kPumpStep = std::chrono::milliseconds(5);

// What the connection needs from the agent's settings.
struct ConnectSettings {
  std::string app;
  std::string name;  // the connection id
  std::optional<std::string> endpoint;
  std::optional<std::string> record;
  collab::RoomId room{};
};

enum class Transport { inherited, typed_endpoint };
// As the startup line reports it: "PELTO_SVC_COLLAB_FD" or "typed-endpoint".
const char* transport_name(Transport transport);

class RoomConnection {
 public:
  static Result<RoomConnection> open(const ConnectSettings& settings);

  RoomConnection(RoomConnection&&) = default;
  RoomConnection& operator=(RoomConnection&&) = default;

  // join_route for the room, then the request for the document, then the presence announcement.
  Result<void> join();
  // The request for the document again (no payload).
  void ask_for_document();
  void send(collab::Body body);
  void send_to_route(const collab::Route& route, collab::Body body);

  // Waits at most `timeout` until everything sent has been written to the socket; for a session
  // that is about to end (sends otherwise go out during later waits).
  Result<void> flush(std::chrono::milliseconds timeout);

  // The next event, or nullopt once `timeout` has passed without one. Polls at least once (a zero
  // timeout polls once), sleeping at most kPumpStep between polls. Events put back come first.
  // A failed connection (closed by the broker, a frame that does not decode) is an error.
  Result<std::optional<collab::CollabEvent>> next_event(std::chrono::nanoseconds timeout);
  // Returns events a caller took but did not consume to the front of the queue, in their order.
  void put_back(std::vector<collab::CollabEvent> events);

  Transport transport() const { return transport_; }
  const collab::Route& route() const { return manager_.route(); }
  size_t pending() const { return pending_.size(); }

 private:
  RoomConnection(collab::CollaborationManager manager, Transport transport)
      : manager_(std::move(manager)), transport_(transport) {}

  collab::CollaborationManager manager_;
  Transport transport_;
  std::deque<collab::CollabEvent> pending_;
};

// The snapshot or change a document-mutation event carries; kLostMutation when it carries none.
Result<collab::DocumentMutation> mutation_of(const collab::CollabEvent& event);

}  // namespace pelto::agent::wire
