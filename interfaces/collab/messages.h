#pragma once
// The messages of the room as plain C++ records, one per kind of the wire schema
// (interfaces/collab/wire.capnp). They own all their data, so an event outlives the frame it came in.
// codec.h turns an Envelope into one frame and back; nothing else touches the generated code.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace pelto::collab {

using Bytes = std::vector<uint8_t>;
using RoomId = std::array<uint8_t, 16>;

enum class Role { agent, application, person, host };

// Where a document lives. Two routes are the same when app, room and record are all equal
// (no record equals only no record).
struct Route {
  std::string app;
  RoomId room{};
  std::optional<std::string> record;
  friend bool operator==(const Route&, const Route&) = default;
};

// Who sent a delivered message; the broker fills it in.
struct Sender {
  std::string connection_id;
  Role role = Role::agent;
  Route route;
  friend bool operator==(const Sender&, const Sender&) = default;
};

struct Hello {
  Role role = Role::agent;
  std::string connection_id;
  Route route;
  std::optional<Bytes> signing_key;
  friend bool operator==(const Hello&, const Hello&) = default;
};

struct Join {
  RoomId room{};
  friend bool operator==(const Join&, const Join&) = default;
};

// Asks the participants of the sender's own route for the document (no payload).
struct DocumentRequest {
  friend bool operator==(const DocumentRequest&, const DocumentRequest&) = default;
};

// A participant's request for a document, naming app and record; delivered to the room.
struct DocumentWanted {
  std::string app;
  std::optional<std::string> record;
  friend bool operator==(const DocumentWanted&, const DocumentWanted&) = default;
};

// What a document mutation carries, as the CRDT engine's bytes.
struct DocumentMutation {
  enum class Kind { snapshot, change };
  Kind kind = Kind::change;
  Bytes bytes;
  friend bool operator==(const DocumentMutation&, const DocumentMutation&) = default;
};

// The message form: a mutation may have lost its payload (`mutation` empty).
struct DocumentMutationMessage {
  std::optional<DocumentMutation> mutation;
  friend bool operator==(const DocumentMutationMessage&, const DocumentMutationMessage&) = default;
};

struct PresenceAnnounce {
  std::string room_text;
  friend bool operator==(const PresenceAnnounce&, const PresenceAnnounce&) = default;
};

struct ActionStarted {
  std::string invocation;
  std::string run_context_json;  // empty when the action runs outside a run
  std::string name;
  std::string resource_id;
  std::string resource_label;
  friend bool operator==(const ActionStarted&, const ActionStarted&) = default;
};

struct CaretPosition {
  std::string name;
  std::string block_id;
  uint64_t offset = 0;  // characters into the block's text
  friend bool operator==(const CaretPosition&, const CaretPosition&) = default;
};

struct ActionFinished {
  std::string invocation;
  friend bool operator==(const ActionFinished&, const ActionFinished&) = default;
};

struct CatalogueEntry {
  std::string provider_room;  // set by the broker in replies: the publisher's room, in decimal
  std::string app;
  std::string resource_id;
  std::string action_id;
  std::string descriptor_json;  // the action framework's descriptor; the broker does not read it
  friend bool operator==(const CatalogueEntry&, const CatalogueEntry&) = default;
};

struct CatalogueRequest {
  friend bool operator==(const CatalogueRequest&, const CatalogueRequest&) = default;
};

// Replaces everything the sender published before.
struct CataloguePublish {
  std::vector<CatalogueEntry> entries;
  friend bool operator==(const CataloguePublish&, const CataloguePublish&) = default;
};

struct CatalogueRefusal {
  std::string reason;
  friend bool operator==(const CatalogueRefusal&, const CatalogueRefusal&) = default;
};

struct CatalogueReply {
  std::variant<std::vector<CatalogueEntry>, CatalogueRefusal> answer;
  friend bool operator==(const CatalogueReply&, const CatalogueReply&) = default;
};

struct ActionRequest {
  std::string invocation;
  std::string provider_room;
  std::string resource_id;
  std::string action_id;
  std::string arguments_json;
  std::string context_json;
  friend bool operator==(const ActionRequest&, const ActionRequest&) = default;
};

struct Admission {
  std::string invocation;
  std::optional<std::string> refused;  // empty: admitted
  friend bool operator==(const Admission&, const Admission&) = default;
};

struct StatusQuery {
  std::string invocation;
  friend bool operator==(const StatusQuery&, const StatusQuery&) = default;
};

enum class ActionState { unknown, pending, running, completed, failed, cancelled };

struct ActionStatus {
  std::string invocation;
  ActionState state = ActionState::unknown;
  std::string output_json;
  std::string message;
  friend bool operator==(const ActionStatus&, const ActionStatus&) = default;
};

struct CancelRequest {
  std::string invocation;
  friend bool operator==(const CancelRequest&, const CancelRequest&) = default;
};

struct CancellationQuery {
  std::string run_id;
  friend bool operator==(const CancellationQuery&, const CancellationQuery&) = default;
};

struct CancellationStatus {
  std::string run_id;
  bool cancelled = false;
  friend bool operator==(const CancellationStatus&, const CancellationStatus&) = default;
};

// A task lease as it travels; the receiver validates the values.
struct TaskRun {
  uint16_t version = 0;
  std::string run_id;
  std::string id;
  std::string title;
  uint32_t lease = 0;
  bool model_planning = false;
  std::string action_context_json;
  friend bool operator==(const TaskRun&, const TaskRun&) = default;
};

// The enumerator's value is the status code (accepted 0 ... cancelled 4).
enum class TaskStatus : uint8_t { accepted = 0, working = 1, completed = 2, failed = 3, cancelled = 4 };

struct TaskRunStatus {
  std::string run_id;
  TaskStatus status = TaskStatus::accepted;
  std::string text;
  friend bool operator==(const TaskRunStatus&, const TaskRunStatus&) = default;
};

// One message body; the alternatives follow the schema's order.
using Body = std::variant<Hello, Join, DocumentRequest, DocumentWanted, DocumentMutationMessage,
                          PresenceAnnounce, ActionStarted, CaretPosition, ActionFinished,
                          CatalogueRequest, CataloguePublish, CatalogueReply, ActionRequest, Admission,
                          StatusQuery, ActionStatus, CancelRequest, CancellationQuery,
                          CancellationStatus, TaskRun, TaskRunStatus>;

// Where a sent message goes: the room (the broker routes it by kind, see tools/broker/broker.h) or
// the participants of one route.
struct ToRoom {
  friend bool operator==(const ToRoom&, const ToRoom&) = default;
};
using Target = std::variant<ToRoom, Route>;

// One frame's worth.
struct Envelope {
  Target target = ToRoom{};
  std::optional<Sender> sender;  // set by the broker on delivery
  Body body;
  friend bool operator==(const Envelope&, const Envelope&) = default;
};

// A short name of the body's kind, for logs ("documentMutation").
const char* kind_name(const Body& body);

}  // namespace pelto::collab
