#include "interfaces/collab/codec.h"

#include <capnp/message.h>
#include <capnp/serialize.h>
#include <kj/exception.h>

#include <cstring>

#include "interfaces/collab/wire.capnp.h"

namespace pelto::collab {
namespace {

namespace w = wire;

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};

// ---- reading ---------------------------------------------------------------------------------

std::string text(capnp::Text::Reader r) { return std::string(r.cStr(), r.size()); }
Bytes data(capnp::Data::Reader r) { return Bytes(r.begin(), r.end()); }

Result<RoomId> room_id(capnp::Data::Reader r) {
  if (r.size() != 16) return failf("a room id of {} bytes (a room id has 16)", r.size());
  RoomId id;
  std::memcpy(id.data(), r.begin(), 16);
  return id;
}

Result<Role> role(w::Role r) {
  switch (r) {
    case w::Role::AGENT: return Role::agent;
    case w::Role::APPLICATION: return Role::application;
    case w::Role::PERSON: return Role::person;
    case w::Role::HOST: return Role::host;
  }
  return failf("unknown role {}", static_cast<unsigned>(r));
}

template <class Group>
Result<std::optional<std::string>> record(typename Group::Reader g) {
  switch (g.which()) {
    case Group::UNTITLED: return std::optional<std::string>{};
    case Group::NAMED: return std::optional<std::string>{text(g.getNamed())};
  }
  return fail("unknown record form");
}

Result<Route> route(w::Route::Reader r) {
  Route out;
  out.app = text(r.getApp());
  PELTO_TRY(out.room, room_id(r.getRoom()), "read a route");
  PELTO_TRY(out.record, record<w::Route::Record>(r.getRecord()), "read a route");
  return out;
}

std::vector<CatalogueEntry> entries(capnp::List<w::CatalogueEntry>::Reader list) {
  std::vector<CatalogueEntry> out;
  out.reserve(list.size());
  for (auto e : list)
    out.push_back({text(e.getProviderRoom()), text(e.getApp()), text(e.getResourceId()),
                   text(e.getActionId()), text(e.getDescriptorJson())});
  return out;
}

Result<ActionState> action_state(w::ActionState s) {
  switch (s) {
    case w::ActionState::UNKNOWN: return ActionState::unknown;
    case w::ActionState::PENDING: return ActionState::pending;
    case w::ActionState::RUNNING: return ActionState::running;
    case w::ActionState::COMPLETED: return ActionState::completed;
    case w::ActionState::FAILED: return ActionState::failed;
    case w::ActionState::CANCELLED: return ActionState::cancelled;
  }
  return failf("unknown action state {}", static_cast<unsigned>(s));
}

// The status code is the enumerant's position, on both sides.
static_assert(static_cast<uint16_t>(w::TaskStatus::ACCEPTED) == 0 && static_cast<uint16_t>(w::TaskStatus::CANCELLED) == 4);
static_assert(static_cast<uint16_t>(w::ActionState::CANCELLED) == static_cast<uint16_t>(ActionState::cancelled));

Result<TaskStatus> task_status(w::TaskStatus s) {
  if (static_cast<unsigned>(s) > static_cast<unsigned>(TaskStatus::cancelled))
    return failf("unknown task status {}", static_cast<unsigned>(s));
  return static_cast<TaskStatus>(static_cast<unsigned>(s));
}

Result<Body> body(w::Body::Reader b) {
  switch (b.which()) {
    case w::Body::HELLO: {
      auto h = b.getHello();
      Hello out;
      PELTO_TRY(out.role, role(h.getRole()), "read hello");
      out.connection_id = text(h.getConnectionId());
      PELTO_TRY(out.route, route(h.getRoute()), "read hello");
      auto key = h.getSigningKey();
      if (key.which() == w::Hello::SigningKey::KEY) out.signing_key = data(key.getKey());
      else if (key.which() != w::Hello::SigningKey::NONE) return fail("unknown signing key form");
      return out;
    }
    case w::Body::JOIN: {
      PELTO_TRY(auto room, room_id(b.getJoin().getRoom()), "read join");
      return Join{room};
    }
    case w::Body::DOCUMENT_REQUEST: return DocumentRequest{};
    case w::Body::DOCUMENT_WANTED: {
      auto d = b.getDocumentWanted();
      PELTO_TRY(auto rec, record<w::DocumentWanted::Record>(d.getRecord()), "read document request");
      return DocumentWanted{text(d.getApp()), std::move(rec)};
    }
    case w::Body::DOCUMENT_MUTATION: {
      auto m = b.getDocumentMutation();
      switch (m.which()) {
        case w::DocumentMutation::MISSING: return DocumentMutationMessage{};
        case w::DocumentMutation::SNAPSHOT:
          return DocumentMutationMessage{
              DocumentMutation{DocumentMutation::Kind::snapshot, data(m.getSnapshot())}};
        case w::DocumentMutation::CHANGE:
          return DocumentMutationMessage{
              DocumentMutation{DocumentMutation::Kind::change, data(m.getChange())}};
      }
      return fail("unknown document mutation form");
    }
    case w::Body::PRESENCE_ANNOUNCE: return PresenceAnnounce{text(b.getPresenceAnnounce().getRoomText())};
    case w::Body::ACTION_STARTED: {
      auto a = b.getActionStarted();
      return ActionStarted{text(a.getInvocation()), text(a.getRunContextJson()), text(a.getName()),
                           text(a.getResourceId()), text(a.getResourceLabel())};
    }
    case w::Body::CARET_POSITION: {
      auto c = b.getCaretPosition();
      return CaretPosition{text(c.getName()), text(c.getBlockId()), c.getOffset()};
    }
    case w::Body::ACTION_FINISHED: return ActionFinished{text(b.getActionFinished().getInvocation())};
    case w::Body::CATALOGUE_REQUEST: return CatalogueRequest{};
    case w::Body::CATALOGUE_PUBLISH: return CataloguePublish{entries(b.getCataloguePublish().getEntries())};
    case w::Body::CATALOGUE_REPLY: {
      auto r = b.getCatalogueReply();
      switch (r.which()) {
        case w::CatalogueReply::ENTRIES: return CatalogueReply{entries(r.getEntries())};
        case w::CatalogueReply::REFUSAL: return CatalogueReply{CatalogueRefusal{text(r.getRefusal())}};
      }
      return fail("unknown catalogue reply form");
    }
    case w::Body::ACTION_REQUEST: {
      auto a = b.getActionRequest();
      return ActionRequest{text(a.getInvocation()), text(a.getProviderRoom()), text(a.getResourceId()),
                           text(a.getActionId()),   text(a.getArgumentsJson()), text(a.getContextJson())};
    }
    case w::Body::ADMISSION: {
      auto a = b.getAdmission();
      switch (a.which()) {
        case w::Admission::ADMITTED: return Admission{text(a.getInvocation()), std::nullopt};
        case w::Admission::REFUSED: return Admission{text(a.getInvocation()), text(a.getRefused())};
      }
      return fail("unknown admission form");
    }
    case w::Body::STATUS_QUERY: return StatusQuery{text(b.getStatusQuery().getInvocation())};
    case w::Body::ACTION_STATUS: {
      auto s = b.getActionStatus();
      PELTO_TRY(auto state, action_state(s.getState()), "read action status");
      return ActionStatus{text(s.getInvocation()), state, text(s.getOutputJson()), text(s.getMessage())};
    }
    case w::Body::CANCEL_REQUEST: return CancelRequest{text(b.getCancelRequest().getInvocation())};
    case w::Body::CANCELLATION_QUERY: return CancellationQuery{text(b.getCancellationQuery().getRunId())};
    case w::Body::CANCELLATION_STATUS: {
      auto c = b.getCancellationStatus();
      return CancellationStatus{text(c.getRunId()), c.getCancelled()};
    }
    case w::Body::TASK_RUN: {
      auto t = b.getTaskRun();
      return TaskRun{t.getVersion(),  text(t.getRunId()),    text(t.getId()),
                     text(t.getTitle()), t.getLease(), t.getModelPlanning(),
                     text(t.getActionContextJson())};
    }
    case w::Body::TASK_RUN_STATUS: {
      auto t = b.getTaskRunStatus();
      PELTO_TRY(auto status, task_status(t.getStatus()), "read task-run status");
      return TaskRunStatus{text(t.getRunId()), status, text(t.getText())};
    }
  }
  return failf("unknown message kind {}", static_cast<unsigned>(b.which()));
}

Result<Envelope> envelope(w::Envelope::Reader e) {
  Envelope out;
  auto target = e.getTarget();
  switch (target.which()) {
    case w::Envelope::Target::ROOM: out.target = ToRoom{}; break;
    case w::Envelope::Target::ROUTE: {
      PELTO_TRY(auto r, route(target.getRoute()), "read the target");
      out.target = std::move(r);
      break;
    }
    default: return fail("unknown target form");
  }
  auto sender = e.getSender();
  switch (sender.which()) {
    case w::Envelope::Sender::NONE: break;
    case w::Envelope::Sender::PARTICIPANT: {
      auto p = sender.getParticipant();
      Sender s;
      s.connection_id = text(p.getConnectionId());
      PELTO_TRY(s.role, role(p.getRole()), "read the sender");
      PELTO_TRY(s.route, route(p.getRoute()), "read the sender");
      out.sender = std::move(s);
      break;
    }
    default: return fail("unknown sender form");
  }
  PELTO_TRY(out.body, body(e.getBody()), "read the body");
  return out;
}

// ---- writing ---------------------------------------------------------------------------------

capnp::Text::Reader as_text(const std::string& s) { return capnp::Text::Reader(s.c_str(), s.size()); }
capnp::Data::Reader as_data(const Bytes& b) { return capnp::Data::Reader(b.data(), b.size()); }
capnp::Data::Reader as_data(const RoomId& r) { return capnp::Data::Reader(r.data(), r.size()); }

w::Role wire_role(Role r) {
  switch (r) {
    case Role::agent: return w::Role::AGENT;
    case Role::application: return w::Role::APPLICATION;
    case Role::person: return w::Role::PERSON;
    case Role::host: return w::Role::HOST;
  }
  return w::Role::AGENT;
}

template <class Group>
void write_record(Group g, const std::optional<std::string>& record) {
  if (record) g.setNamed(as_text(*record));
  else g.setUntitled();
}

void write_route(w::Route::Builder b, const Route& r) {
  b.setApp(as_text(r.app));
  b.setRoom(as_data(r.room));
  write_record(b.getRecord(), r.record);
}

void write_entries(capnp::List<w::CatalogueEntry>::Builder list, const std::vector<CatalogueEntry>& es) {
  for (size_t i = 0; i < es.size(); ++i) {
    auto e = list[static_cast<unsigned>(i)];
    e.setProviderRoom(as_text(es[i].provider_room));
    e.setApp(as_text(es[i].app));
    e.setResourceId(as_text(es[i].resource_id));
    e.setActionId(as_text(es[i].action_id));
    e.setDescriptorJson(as_text(es[i].descriptor_json));
  }
}

void write_body(w::Body::Builder b, const Body& body) {
  std::visit(
      Overloaded{
          [&](const Hello& h) {
            auto o = b.initHello();
            o.setRole(wire_role(h.role));
            o.setConnectionId(as_text(h.connection_id));
            write_route(o.initRoute(), h.route);
            if (h.signing_key) o.getSigningKey().setKey(as_data(*h.signing_key));
            else o.getSigningKey().setNone();
          },
          [&](const Join& j) { b.initJoin().setRoom(as_data(j.room)); },
          [&](const DocumentRequest&) { b.setDocumentRequest(); },
          [&](const DocumentWanted& d) {
            auto o = b.initDocumentWanted();
            o.setApp(as_text(d.app));
            write_record(o.getRecord(), d.record);
          },
          [&](const DocumentMutationMessage& m) {
            auto o = b.initDocumentMutation();
            if (!m.mutation) o.setMissing();
            else if (m.mutation->kind == DocumentMutation::Kind::snapshot) o.setSnapshot(as_data(m.mutation->bytes));
            else o.setChange(as_data(m.mutation->bytes));
          },
          [&](const PresenceAnnounce& p) { b.initPresenceAnnounce().setRoomText(as_text(p.room_text)); },
          [&](const ActionStarted& a) {
            auto o = b.initActionStarted();
            o.setInvocation(as_text(a.invocation));
            o.setRunContextJson(as_text(a.run_context_json));
            o.setName(as_text(a.name));
            o.setResourceId(as_text(a.resource_id));
            o.setResourceLabel(as_text(a.resource_label));
          },
          [&](const CaretPosition& c) {
            auto o = b.initCaretPosition();
            o.setName(as_text(c.name));
            o.setBlockId(as_text(c.block_id));
            o.setOffset(c.offset);
          },
          [&](const ActionFinished& a) { b.initActionFinished().setInvocation(as_text(a.invocation)); },
          [&](const CatalogueRequest&) { b.setCatalogueRequest(); },
          [&](const CataloguePublish& p) {
            write_entries(b.initCataloguePublish().initEntries(static_cast<unsigned>(p.entries.size())),
                          p.entries);
          },
          [&](const CatalogueReply& r) {
            auto o = b.initCatalogueReply();
            if (auto* es = std::get_if<std::vector<CatalogueEntry>>(&r.answer))
              write_entries(o.initEntries(static_cast<unsigned>(es->size())), *es);
            else
              o.setRefusal(as_text(std::get<CatalogueRefusal>(r.answer).reason));
          },
          [&](const ActionRequest& a) {
            auto o = b.initActionRequest();
            o.setInvocation(as_text(a.invocation));
            o.setProviderRoom(as_text(a.provider_room));
            o.setResourceId(as_text(a.resource_id));
            o.setActionId(as_text(a.action_id));
            o.setArgumentsJson(as_text(a.arguments_json));
            o.setContextJson(as_text(a.context_json));
          },
          [&](const Admission& a) {
            auto o = b.initAdmission();
            o.setInvocation(as_text(a.invocation));
            if (a.refused) o.setRefused(as_text(*a.refused));
            else o.setAdmitted();
          },
          [&](const StatusQuery& q) { b.initStatusQuery().setInvocation(as_text(q.invocation)); },
          [&](const ActionStatus& s) {
            auto o = b.initActionStatus();
            o.setInvocation(as_text(s.invocation));
            o.setState(static_cast<w::ActionState>(static_cast<uint16_t>(s.state)));
            o.setOutputJson(as_text(s.output_json));
            o.setMessage(as_text(s.message));
          },
          [&](const CancelRequest& c) { b.initCancelRequest().setInvocation(as_text(c.invocation)); },
          [&](const CancellationQuery& q) { b.initCancellationQuery().setRunId(as_text(q.run_id)); },
          [&](const CancellationStatus& s) {
            auto o = b.initCancellationStatus();
            o.setRunId(as_text(s.run_id));
            o.setCancelled(s.cancelled);
          },
          [&](const TaskRun& t) {
            auto o = b.initTaskRun();
            o.setVersion(t.version);
            o.setRunId(as_text(t.run_id));
            o.setId(as_text(t.id));
            o.setTitle(as_text(t.title));
            o.setLease(t.lease);
            o.setModelPlanning(t.model_planning);
            o.setActionContextJson(as_text(t.action_context_json));
          },
          [&](const TaskRunStatus& t) {
            auto o = b.initTaskRunStatus();
            o.setRunId(as_text(t.run_id));
            o.setStatus(static_cast<w::TaskStatus>(static_cast<uint16_t>(t.status)));
            o.setText(as_text(t.text));
          },
      },
      body);
}

}  // namespace

Result<Bytes> encode(const Envelope& e) {
  try {
    capnp::MallocMessageBuilder message;
    auto root = message.initRoot<w::Envelope>();
    if (auto* r = std::get_if<Route>(&e.target)) write_route(root.getTarget().initRoute(), *r);
    else root.getTarget().setRoom();
    if (e.sender) {
      auto s = root.getSender().initParticipant();
      s.setConnectionId(as_text(e.sender->connection_id));
      s.setRole(wire_role(e.sender->role));
      write_route(s.initRoute(), e.sender->route);
    } else {
      root.getSender().setNone();
    }
    write_body(root.initBody(), e.body);
    size_t bytes = capnp::computeSerializedSizeInWords(message) * sizeof(capnp::word);
    if (bytes > kMaxFrameBytes)
      return failf("a message of {} bytes is over the 256 MiB limit", bytes);
    auto flat = capnp::messageToFlatArray(message);
    auto out = flat.asBytes();
    return Bytes(out.begin(), out.end());
  } catch (const kj::Exception& ex) {
    return failf("could not encode a {} message: {}", kind_name(e.body), ex.getDescription().cStr());
  }
}

Result<Envelope> decode(std::span<const uint8_t> frame) {
  if (frame.size() % sizeof(capnp::word) != 0)
    return failf("a message that does not decode: {} bytes are not a whole number of words", frame.size());
  size_t words = frame.size() / sizeof(capnp::word);
  kj::Array<capnp::word> copy;
  const capnp::word* start = reinterpret_cast<const capnp::word*>(frame.data());
  if (reinterpret_cast<uintptr_t>(frame.data()) % alignof(capnp::word) != 0) {
    copy = kj::heapArray<capnp::word>(words);
    std::memcpy(copy.begin(), frame.data(), frame.size());
    start = copy.begin();
  }
  try {
    capnp::ReaderOptions options;
    // Reading each object once costs its size; the slack refuses pointer loops and amplification.
    options.traversalLimitInWords = 2 * words + 1024;
    capnp::FlatArrayMessageReader reader(kj::arrayPtr(start, words), options);
    auto decoded = envelope(reader.getRoot<w::Envelope>());
    if (!decoded) return fail(std::move(decoded.error()).context("a message that does not decode"));
    return decoded;
  } catch (const kj::Exception& ex) {
    return failf("a message that does not decode: {}", ex.getDescription().cStr());
  }
}

const char* kind_name(const Body& body) {
  static constexpr const char* kNames[] = {
      "hello",          "join",           "documentRequest",   "documentWanted",     "documentMutation",
      "presenceAnnounce", "actionStarted", "caretPosition",     "actionFinished",     "catalogueRequest",
      "cataloguePublish", "catalogueReply", "actionRequest",    "admission",          "statusQuery",
      "actionStatus",   "cancelRequest",  "cancellationQuery", "cancellationStatus", "taskRun",
      "taskRunStatus"};
  static_assert(std::size(kNames) == std::variant_size_v<Body>);
  return kNames[body.index()];
}

}  // namespace pelto::collab
