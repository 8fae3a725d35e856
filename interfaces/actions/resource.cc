#include "interfaces/actions/resource.h"

#include <cctype>

#include <fmt/format.h>

#include "interfaces/base/utf8.h"

namespace pelto::actions {

bool EncodedAction::is_document_action() const { return operation_type.ends_with(kDocumentActionSuffix); }
bool EncodedAction::is_device_operation() const { return operation_type.ends_with(kDeviceOperationSuffix); }

ActionSpec::ActionSpec(std::string id_in, std::string label_in) : id(std::move(id_in)), label(std::move(label_in)) {}

namespace {
template <class Change>
ActionSpec changed(const ActionSpec& spec, Change&& change) {
  ActionSpec s = spec;
  change(s);
  return s;
}
}  // namespace

ActionSpec ActionSpec::with_description(std::string text) const {
  return changed(*this, [&](ActionSpec& s) { s.description = std::move(text); });
}

ActionSpec ActionSpec::with_input_summary(std::string text) const {
  return changed(*this, [&](ActionSpec& s) { s.input_summary = std::move(text); });
}

ActionSpec ActionSpec::with_param(ActionParam param) const {
  return changed(*this, [&](ActionSpec& s) { s.parameters.push_back(std::move(param)); });
}

ActionSpec ActionSpec::with_encoder(Encoder encode) const {
  return changed(*this, [&](ActionSpec& s) { s.encoder = std::make_shared<const Encoder>(std::move(encode)); });
}

ActionSpec ActionSpec::destructive() const {
  return changed(*this, [&](ActionSpec& s) { s.risk = Risk::Destructive; s.reversible = false; });
}

ActionSpec ActionSpec::execution_class(Execution how) const {
  return changed(*this, [&](ActionSpec& s) { s.execution = std::move(how); });
}

ActionSpec ActionSpec::returns(std::string resource_kind) const {
  return changed(*this, [&](ActionSpec& s) { s.result = ActionResult::resource(std::move(resource_kind)); });
}

ActionSpec ActionSpec::returns(ActionResult output) const {
  return changed(*this, [&](ActionSpec& s) { s.result = std::move(output); });
}

ActionSpec ActionSpec::with_contract(ActionContract declared) const {
  return changed(*this, [&](ActionSpec& s) { s.contract = std::move(declared); });
}

ActionSpec ActionSpec::with_confirmation(Confirmation needed) const {
  return changed(*this, [&](ActionSpec& s) { s.confirmation = std::move(needed); });
}

ActionSpec ActionSpec::with_risk(Risk level) const {
  return changed(*this, [&](ActionSpec& s) { s.risk = level; });
}

ActionSpec ActionSpec::with_permission(Permission needed) const {
  return changed(*this, [&](ActionSpec& s) { s.permission = needed; });
}

ActionSpec ActionSpec::with_retry(Retry how) const {
  return changed(*this, [&](ActionSpec& s) { s.retry = how; });
}

ActionSpec ActionSpec::with_reversible(bool value) const {
  return changed(*this, [&](ActionSpec& s) { s.reversible = value; });
}

ActionSpec ActionSpec::unavailable(std::string reason, std::string message) const {
  return changed(*this, [&](ActionSpec& s) { s.availability = Availability{std::move(reason), std::move(message)}; });
}

ActionSpec ActionSpec::with_note(std::string text) const {
  return changed(*this, [&](ActionSpec& s) { s.note = std::move(text); });
}

ActionSpec ActionSpec::with_content_input(std::string text) const {
  return changed(*this, [&](ActionSpec& s) { s.content_input = ContentInput{true, std::move(text)}; });
}


ActionSpec ActionSpec::with_text_input(TextInput input, TextEncoder encode) const {
  ActionSpec s = *this;
  ActionParam param = resource::derive_input(input);
  std::string name = param.name;
  s.parameters = {std::move(param)};
  s.encoder = std::make_shared<const Encoder>(
      [name, input, encode = std::move(encode)](const ActionArgs& args) -> Encoded {
        std::string raw = args.text(name).value_or("");
        std::string_view text = utf8::trim(raw);
        if (input.required && text.empty()) {
          return std::unexpected(ActionError::invalid_arguments(fmt::format("{} is required", input.label)));
        }
        return encode(text);
      });
  return s;
}

Resource::Resource(std::string id_in, std::string kind_in, std::string label_in)
    : id(std::move(id_in)), kind(std::move(kind_in)), label(std::move(label_in)) {}

Resource Resource::with_child(Resource child) const {
  Resource r = *this;
  r.children.push_back(std::move(child));
  return r;
}

Resource Resource::with_action(ActionSpec spec) const {
  Resource r = *this;
  r.actions.push_back(std::move(spec));
  return r;
}

Resource Resource::with_fact(std::string fact) const {
  Resource r = *this;
  r.facts.push_back(std::move(fact));
  return r;
}

namespace resource {

ActionParam derive_input(const TextInput& input) {
  std::string name;
  bool gap = false;
  for (unsigned char c : input.label) {
    if (std::isalnum(c)) {
      if (gap && !name.empty()) name += '_';
      name += static_cast<char>(std::tolower(c));
      gap = false;
    } else {
      gap = true;
    }
  }
  if (name.empty()) name = "text";
  std::string description = input.label;
  if (!input.example.empty()) {
    description += fmt::format(", for example {}", input.example);
  } else if (!input.placeholder.empty()) {
    description += fmt::format(" ({})", input.placeholder);
  }
  ActionParam param = ActionParam::text(std::move(name), std::move(description), input.required);
  if (!input.example.empty()) {
    param = param.with_schema({{"type", "string"}, {"examples", nlohmann::json::array({input.example})}});
  }
  return param;
}

Encoded enforce_operation_type(std::string_view declared, EncodedAction action) {
  auto namespaced = [](std::string_view type, std::string_view suffix) {
    return type.size() > suffix.size() && type.ends_with(suffix);
  };
  if (!namespaced(declared, kDocumentActionSuffix) && !namespaced(declared, kDeviceOperationSuffix)) {
    return std::unexpected(ActionError("pelto.invalid_operation_type",
                                       fmt::format("`{}` is not an operation type", declared)));
  }
  if (action.operation_type != declared) {
    return std::unexpected(ActionError(
        "pelto.invalid_operation_type",
        fmt::format("the action is declared as `{}` but encoded `{}`", declared, action.operation_type)));
  }
  return action;
}

Encoded enforce_operation_type(std::string_view declared, nlohmann::json payload) {
  return enforce_operation_type(declared, EncodedAction{std::string(declared), std::move(payload)});
}

}  // namespace resource
}  // namespace pelto::actions
