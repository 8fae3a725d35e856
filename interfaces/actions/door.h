#pragma once
// The door through which a resource tree is surveyed and its actions invoked.
//
// survey lists one OperationDescriptor per action, in pre-order: a resource's own actions in
// declaration order, then each child's subtree in order. The catalogue keeps that order.
//
// invoke_json finds the descriptor's action in the tree as it is now (first resource with the id in
// survey order, then its action with the id), refuses it while it needs a confirmation the caller
// has not met (invoke_json_confirmed is for a met one) or is unavailable, binds the argument object
// against its parameters (the invocation keys "confirm" and "confirmation_phrase" never reach the
// application; a content-consuming action takes its members unchecked), encodes, and then:
//   - an `.action` payload is applied to `document` by the executor registered for its type,
//     inside the caller's pending change (never committed here). When the caller had nothing
//     pending and the executor refuses or fails, whatever it wrote is rolled back;
//   - an `.operation` payload is handed to the transport and changes no document.
// When the caller has nothing pending and `actor` is not empty, the change is made as that actor.
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "interfaces/actions/args.h"
#include "interfaces/actions/contract.h"
#include "interfaces/actions/encoded.h"
#include "interfaces/actions/outcome.h"
#include "interfaces/actions/registry.h"
#include "interfaces/actions/resource.h"
#include "interfaces/base/error.h"
#include "interfaces/crdt/document.h"

namespace pelto::actions {

inline constexpr std::string_view kVanishedText = "that no longer names anything I can find";
inline constexpr std::string_view kNeedsConfirmationText = "that action requires explicit confirmation";
// The invocation metadata keys that carry a confirmation; never application parameters.
inline constexpr std::string_view kConfirmKey = "confirm";
inline constexpr std::string_view kConfirmationPhraseKey = "confirmation_phrase";

// One action on one resource, as surveyed.
struct OperationDescriptor {
  std::string resource_id;
  std::string action_id;
  std::string resource_kind;
  std::string resource_label;
  std::string action_label;
  std::optional<std::string> description;
  std::optional<std::string> input_summary;
  std::optional<Availability> availability;
  Confirmation confirmation;
  Execution execution;
  ActionResult result;
  bool reversible = false;
  Retry retry = Retry::AtMostOnce;
  Risk risk = Risk::Low;
  Permission permission = Permission::Write;
  std::vector<ActionParam> parameters;
  std::optional<std::string> note;
  std::optional<ContentInput> content_input;
  std::optional<ActionContract> contract;

  // "{resource id}#{action id}"
  std::string operation_id() const;
  bool consumes_content() const { return content_input && content_input->consumes; }
};

// A device operation on its way to the device that carries it out.
struct Replication {
  std::string resource_id;
  std::string action_id;
  EncodedAction action;
  crdt::Bytes actor;
};

// Where device operations go. Implementations decide how they reach a device.
class ActionTransport {
 public:
  virtual ~ActionTransport() = default;
  virtual Result<void> replicate(Replication operation) = 0;
};

// Collects what must be replicated, in order, for the caller to send on.
class LocalTransport final : public ActionTransport {
 public:
  Result<void> replicate(Replication operation) override;
  const std::vector<Replication>& replicated() const { return replicated_; }
  std::vector<Replication> take();

 private:
  std::vector<Replication> replicated_;
};

class DoorError {
 public:
  enum class Kind {
    Vanished,           // the tree no longer holds the action
    NeedsConfirmation,  // its policy needs a confirmation the caller has not met
    Unavailable,        // it declares itself unavailable right now
    NotPerformable,     // it has no encoder
    Arguments,          // binding refused the argument object
    Encoding,           // the encoder refused (an ActionError)
    NoExecutor,         // no executor for the payload's document-action type
    UnknownType,        // the payload is neither a document action nor a device operation
    Refused,            // the executor refused
    Transport,          // the transport did not take the device operation
    Fault,              // the document engine failed: not a refusal
  };

  static DoorError vanished() { return DoorError(Kind::Vanished, std::string(kVanishedText)); }
  static DoorError needs_confirmation() {
    return DoorError(Kind::NeedsConfirmation, std::string(kNeedsConfirmationText));
  }
  static DoorError of(Kind kind, std::string text) { return DoorError(kind, std::move(text)); }
  static DoorError fault(const Error& error);

  Kind kind() const { return kind_; }
  bool is_fault() const { return kind_ == Kind::Fault; }
  const std::string& display() const { return text_; }
  friend bool operator==(const DoorError&, const DoorError&) = default;

 private:
  DoorError(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
  Kind kind_;
  std::string text_;
};

using DoorResult = std::expected<Outcome, DoorError>;

namespace door {

std::vector<OperationDescriptor> survey(std::span<const Resource> resources);
std::vector<OperationDescriptor> survey(const Resource& root);

DoorResult invoke_json(crdt::Document& document, std::span<const Resource> resources,
                       const OperationDescriptor& descriptor, const nlohmann::json& arguments,
                       std::span<const uint8_t> actor, const ActionRegistry& registry, ActionTransport& transport);
DoorResult invoke_json_confirmed(crdt::Document& document, std::span<const Resource> resources,
                                 const OperationDescriptor& descriptor, const nlohmann::json& arguments,
                                 std::span<const uint8_t> actor, const ActionRegistry& registry,
                                 ActionTransport& transport);

}  // namespace door
}  // namespace pelto::actions
