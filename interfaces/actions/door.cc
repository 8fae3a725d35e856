#include "interfaces/actions/door.h"

#include <algorithm>

#include <fmt/format.h>

namespace pelto::actions {

std::string OperationDescriptor::operation_id() const { return resource_id + "#" + action_id; }

Result<void> LocalTransport::replicate(Replication operation) {
  replicated_.push_back(std::move(operation));
  return {};
}

std::vector<Replication> LocalTransport::take() {
  std::vector<Replication> out;
  out.swap(replicated_);
  return out;
}

DoorError DoorError::fault(const Error& error) {
  return DoorError(Kind::Fault, "the document could not be changed: " + error.display());
}

namespace {

OperationDescriptor describe(const Resource& r, const ActionSpec& a) {
  OperationDescriptor d;
  d.resource_id = r.id;
  d.action_id = a.id;
  d.resource_kind = r.kind;
  d.resource_label = r.label;
  d.action_label = a.label;
  d.description = a.description;
  d.input_summary = a.input_summary;
  d.availability = a.availability;
  d.confirmation = a.confirmation;
  d.execution = a.execution;
  d.result = a.result;
  d.reversible = a.reversible;
  d.retry = a.retry;
  d.risk = a.risk;
  d.permission = a.permission;
  d.parameters = a.parameters;
  d.note = a.note;
  d.content_input = a.content_input;
  d.contract = a.contract;
  return d;
}

// Iterative pre-order walk, so a deep tree from a hostile document cannot exhaust the stack.
template <class Visit>
bool walk(std::span<const Resource> roots, Visit&& visit) {
  std::vector<const Resource*> stack;
  for (auto it = roots.rbegin(); it != roots.rend(); ++it) stack.push_back(&*it);
  while (!stack.empty()) {
    const Resource* r = stack.back();
    stack.pop_back();
    if (visit(*r)) return true;
    for (auto it = r->children.rbegin(); it != r->children.rend(); ++it) stack.push_back(&*it);
  }
  return false;
}

const ActionSpec* find_action(std::span<const Resource> resources, const OperationDescriptor& d) {
  const Resource* found = nullptr;
  walk(resources, [&](const Resource& r) {
    if (r.id != d.resource_id) return false;
    found = &r;
    return true;
  });
  if (!found) return nullptr;
  for (const auto& a : found->actions) {
    if (a.id == d.action_id) return &a;
  }
  return nullptr;
}

DoorResult invoke(crdt::Document& document, std::span<const Resource> resources, const OperationDescriptor& descriptor,
                  const nlohmann::json& arguments, std::span<const uint8_t> actor, const ActionRegistry& registry,
                  ActionTransport& transport, bool confirmed) {
  const ActionSpec* spec = find_action(resources, descriptor);
  if (!spec) return std::unexpected(DoorError::vanished());
  if (spec->confirmation.required() && !confirmed) return std::unexpected(DoorError::needs_confirmation());
  if (spec->availability) {
    return std::unexpected(DoorError::of(DoorError::Kind::Unavailable,
                                         fmt::format("that action is unavailable right now: {}",
                                                     spec->availability->message)));
  }
  if (!spec->encoder || !*spec->encoder) {
    return std::unexpected(DoorError::of(DoorError::Kind::NotPerformable, "that action cannot be performed from here"));
  }

  nlohmann::json object = arguments.is_null() ? nlohmann::json::object() : arguments;
  if (object.is_object()) {
    object.erase(std::string(kConfirmKey));
    object.erase(std::string(kConfirmationPhraseKey));
  }
  ActionArgs args;
  if (spec->consumes_content()) {
    args = ActionArgs::unchecked(object);
  } else {
    auto bound = ActionArgs::bind_json(spec->parameters, object);
    if (!bound) return std::unexpected(DoorError::of(DoorError::Kind::Arguments, bound.error().display()));
    args = std::move(*bound);
  }

  Encoded encoded = (*spec->encoder)(args);
  if (!encoded) return std::unexpected(DoorError::of(DoorError::Kind::Encoding, encoded.error().display()));
  if (spec->contract) {
    auto checked = resource::enforce_operation_type(spec->contract->operation_type, std::move(*encoded));
    if (!checked) return std::unexpected(DoorError::of(DoorError::Kind::Encoding, checked.error().display()));
    encoded = std::move(checked);
  }
  EncodedAction& action = *encoded;

  Outcome outcome;
  if (action.is_device_operation()) {
    Replication op{descriptor.resource_id, descriptor.action_id, action, crdt::Bytes(actor.begin(), actor.end())};
    auto sent = transport.replicate(std::move(op));
    if (!sent) {
      return std::unexpected(DoorError::of(DoorError::Kind::Transport,
                                           "the operation could not be handed on: " + sent.error().display()));
    }
    outcome.replicated = true;
    return outcome;
  }
  if (!action.is_document_action()) {
    return std::unexpected(DoorError::of(
        DoorError::Kind::UnknownType,
        fmt::format("`{}` is neither a document action nor a device operation", action.operation_type)));
  }
  const Executor* executor = registry.find(action.operation_type);
  if (!executor) {
    return std::unexpected(
        DoorError::of(DoorError::Kind::NoExecutor, fmt::format("nothing here can apply `{}`", action.operation_type)));
  }

  const size_t pending_before = document.pending_ops();
  const size_t changes_before = document.change_count();
  if (pending_before == 0 && !actor.empty() && !std::equal(actor.begin(), actor.end(), document.actor().bytes.begin(),
                                                           document.actor().bytes.end())) {
    document.set_actor(crdt::ActorId{crdt::Bytes(actor.begin(), actor.end())});
  }
  ExecutionRequest request{action.operation_type, action.payload, actor, descriptor.resource_id, descriptor.action_id};
  Result<ExecutorAnswer> answer = (*executor)(document, request);
  const bool may_roll_back = pending_before == 0 && document.change_count() == changes_before;
  if (!answer) {
    if (may_roll_back) document.rollback();
    return std::unexpected(DoorError::fault(answer.error()));
  }
  if (answer->refusal) {
    if (may_roll_back) document.rollback();
    return std::unexpected(DoorError::of(DoorError::Kind::Refused, *answer->refusal));
  }
  outcome.resources = std::move(answer->resources);
  outcome.content = std::move(answer->content);
  outcome.changed_document =
      document.pending_ops() != pending_before || document.change_count() != changes_before;
  return outcome;
}

}  // namespace

namespace door {

std::vector<OperationDescriptor> survey(std::span<const Resource> resources) {
  std::vector<OperationDescriptor> out;
  walk(resources, [&](const Resource& r) {
    for (const auto& a : r.actions) out.push_back(describe(r, a));
    return false;
  });
  return out;
}

std::vector<OperationDescriptor> survey(const Resource& root) { return survey(std::span<const Resource>(&root, 1)); }

DoorResult invoke_json(crdt::Document& document, std::span<const Resource> resources,
                       const OperationDescriptor& descriptor, const nlohmann::json& arguments,
                       std::span<const uint8_t> actor, const ActionRegistry& registry, ActionTransport& transport) {
  return invoke(document, resources, descriptor, arguments, actor, registry, transport, false);
}

DoorResult invoke_json_confirmed(crdt::Document& document, std::span<const Resource> resources,
                                 const OperationDescriptor& descriptor, const nlohmann::json& arguments,
                                 std::span<const uint8_t> actor, const ActionRegistry& registry,
                                 ActionTransport& transport) {
  return invoke(document, resources, descriptor, arguments, actor, registry, transport, true);
}

}  // namespace door
}  // namespace pelto::actions
