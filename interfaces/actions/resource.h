#pragma once
// Declaring what an application can do: a tree of resources, each holding actions.
//
// A surface builds a fresh tree from a snapshot of its document whenever it is asked; the tree is a
// plain value that owns everything in it (encoders are shared, immutable function objects, so
// copies are cheap and may outlive the document they were built from: an encoder must capture
// values, never references into a snapshot).
//
// Builders return the extended value and leave the original as it was:
//   Resource("chat.channel:c1", "chat.channel", "# general")
//       .with_action(ActionSpec("post", "Post message").with_text_input(input, encode_post))
//       .with_child(call);
//
// A new ActionSpec runs immediately, returns nothing, needs no confirmation, is not reversible, may
// run at most once per invocation, is of low risk and needs the Write permission; the builders say
// otherwise.
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "interfaces/actions/args.h"
#include "interfaces/actions/contract.h"
#include "interfaces/actions/encoded.h"
#include "interfaces/actions/param.h"

namespace pelto::actions {

using Encoded = std::expected<EncodedAction, ActionError>;
using Encoder = std::function<Encoded(const ActionArgs&)>;
using TextEncoder = std::function<Encoded(std::string_view text)>;

// The one text input of an action that takes words: its label ("Message"), a placeholder
// ("type a message…") or an example ("/var/workspace/report.pdf"), and whether it is required.
struct TextInput {
  std::string label;
  std::string placeholder;
  std::string example;
  bool required = false;
};

struct ActionSpec {
  std::string id;
  std::string label;
  std::optional<std::string> description;
  std::optional<std::string> input_summary;  // how the input reads to people ("path (omit ...)")
  std::vector<ActionParam> parameters;
  std::shared_ptr<const Encoder> encoder;  // null: the action cannot be performed from here

  Confirmation confirmation;
  Execution execution;
  ActionResult result;
  bool reversible = false;
  Retry retry = Retry::AtMostOnce;
  Risk risk = Risk::Low;
  Permission permission = Permission::Write;
  std::optional<Availability> availability;
  std::optional<std::string> note;
  std::optional<ContentInput> content_input;
  std::optional<ActionContract> contract;

  ActionSpec() = default;
  ActionSpec(std::string id, std::string label);

  ActionSpec with_description(std::string text) const;
  ActionSpec with_input_summary(std::string text) const;
  ActionSpec with_param(ActionParam param) const;
  ActionSpec with_encoder(Encoder encode) const;
  // One text parameter derived from `input` (resource::derive_input); the encoder receives the
  // text trimmed of surrounding white space, empty when absent. A required input that trims to
  // nothing is refused with "pelto.invalid_arguments" before the encoder runs.
  ActionSpec with_text_input(TextInput input, TextEncoder encode) const;
  // Marks the action destructive: risk Destructive, not reversible.
  ActionSpec destructive() const;
  ActionSpec execution_class(Execution how) const;  // the class the action runs in
  // Returns a resource of this kind ("pelto.content"), or the given result.
  ActionSpec returns(std::string resource_kind) const;
  ActionSpec returns(ActionResult output) const;
  ActionSpec with_contract(ActionContract declared) const;
  ActionSpec with_confirmation(Confirmation needed) const;
  ActionSpec with_risk(Risk level) const;
  ActionSpec with_permission(Permission needed) const;
  ActionSpec with_retry(Retry how) const;
  ActionSpec with_reversible(bool value) const;
  ActionSpec unavailable(std::string reason, std::string message) const;
  ActionSpec with_note(std::string text) const;
  ActionSpec with_content_input(std::string description) const;  // consumes the previous content

  bool consumes_content() const { return content_input && content_input->consumes; }
};

struct Resource {
  std::string id;
  std::string kind;
  std::string label;
  std::vector<std::string> facts;  // what the resource says about itself
  std::vector<ActionSpec> actions;
  std::vector<Resource> children;

  Resource() = default;
  Resource(std::string id, std::string kind, std::string label);

  Resource with_child(Resource child) const;
  Resource with_action(ActionSpec spec) const;
  Resource with_fact(std::string fact) const;
};

namespace resource {

// The parameter of a single-text action: named after the label (lower-cased, other characters runs
// become "_": "File path" gives "file_path"), described by the label with its placeholder or
// example, of type text, with the example (when given) in its schema.
ActionParam derive_input(const TextInput& input);

// The encoder's last step: the payload as the declared operation type, or an ActionError when the
// declared type is not a document action or device operation type or the payload's type differs.
Encoded enforce_operation_type(std::string_view declared, EncodedAction action);
// The same for a payload built for the declared type.
Encoded enforce_operation_type(std::string_view declared, nlohmann::json payload);

}  // namespace resource
}  // namespace pelto::actions
