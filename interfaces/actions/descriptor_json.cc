#include "interfaces/actions/descriptor_json.h"

#include <array>

#include <fmt/format.h>

#include "interfaces/actions/strict_json.h"

namespace pelto::actions {

using ojson = nlohmann::ordered_json;

namespace {

template <class T>
ojson optional_text(const std::optional<T>& v) {
  return v ? ojson(*v) : ojson(nullptr);
}

ojson tagged(std::string_view name, ojson fields) {
  ojson out = ojson::object();
  out[std::string(name)] = std::move(fields);
  return out;
}

ojson confirmation_json(const Confirmation& c) {
  if (c.kind == Confirmation::Kind::Phrase) return tagged("Phrase", ojson{{"phrase", c.phrase}});
  return c.kind == Confirmation::Kind::Confirm ? "Confirm" : "None";
}

ojson execution_json(const Execution& e) {
  switch (e.kind) {
    case Execution::Kind::Immediate: return "Immediate";
    case Execution::Kind::Background: return tagged("Background", ojson{{"cancellable", e.cancellable}});
    case Execution::Kind::Streaming:
      return tagged("Streaming", ojson{{"cancellable", e.cancellable}, {"item_schema", ojson(e.item_schema)}});
  }
  return "Immediate";
}

ojson result_json(const ActionResult& r) {
  switch (r.kind) {
    case ActionResult::Kind::None: return "None";
    case ActionResult::Kind::Resource: return tagged("Resource", ojson{{"resource_kind", r.resource_kind}});
    case ActionResult::Kind::Job: return "Job";
    case ActionResult::Kind::Json: return tagged("Json", ojson{{"schema", ojson(r.schema)}});
  }
  return "None";
}

template <class E, size_t N>
Result<E> enum_named(const ojson& v, std::string_view field, const std::array<E, N>& all) {
  if (v.is_string()) {
    for (E e : all) {
      if (name_of(e) == v.get_ref<const std::string&>()) return e;
    }
  }
  return failf("\"{}\" is not one of its names: {}", field, v.dump());
}

constexpr std::array<Retry, 3> kRetries = {Retry::Idempotent, Retry::RetryWithInvocationId, Retry::AtMostOnce};
constexpr std::array<Risk, 5> kRisks = {Risk::None, Risk::Low, Risk::Destructive, Risk::Privileged, Risk::Sensitive};
constexpr std::array<Permission, 6> kPermissions = {Permission::None,  Permission::Read,   Permission::Comment,
                                                    Permission::Write, Permission::Invite, Permission::Admin};

// A variant: its name and its fields (an empty object for a name alone).
Result<std::pair<std::string, ojson>> variant_of(const ojson& v, std::string_view field) {
  if (v.is_string()) return std::pair{v.get<std::string>(), ojson::object()};
  if (v.is_object() && v.size() == 1 && v.begin().value().is_object()) {
    return std::pair{v.begin().key(), v.begin().value()};
  }
  return failf("\"{}\" is not a variant: {}", field, v.dump());
}

Result<std::string> text_in(const ojson& object, std::string_view key, std::string_view field) {
  auto it = object.find(std::string(key));
  if (it == object.end() || !it->is_string()) return failf("\"{}\" needs the text \"{}\"", field, key);
  return it->get<std::string>();
}

Result<bool> bool_in(const ojson& object, std::string_view key, std::string_view field) {
  auto it = object.find(std::string(key));
  if (it == object.end() || !it->is_boolean()) return failf("\"{}\" needs the boolean \"{}\"", field, key);
  return it->get<bool>();
}

Result<Confirmation> confirmation_from(const ojson& v) {
  PELTO_TRY(auto var, variant_of(v, "confirmation"), "read the confirmation");
  if (var.first == "None") return Confirmation::none();
  if (var.first == "Confirm") return Confirmation::confirm();
  if (var.first == "Phrase") {
    PELTO_TRY(auto phrase, text_in(var.second, "phrase", "confirmation"), "read the confirmation");
    return Confirmation::with_phrase(std::move(phrase));
  }
  return failf("\"confirmation\" has no variant {}", var.first);
}

Result<Execution> execution_from(const ojson& v) {
  PELTO_TRY(auto var, variant_of(v, "execution"), "read the execution");
  if (var.first == "Immediate") return Execution::immediate();
  if (var.first == "Background" || var.first == "Streaming") {
    PELTO_TRY(bool cancellable, bool_in(var.second, "cancellable", "execution"), "read the execution");
    if (var.first == "Background") return Execution::background(cancellable);
    auto it = var.second.find("item_schema");
    return Execution::streaming(cancellable, it == var.second.end() ? nlohmann::json() : nlohmann::json(*it));
  }
  return failf("\"execution\" has no variant {}", var.first);
}

Result<ActionResult> result_from(const ojson& v) {
  PELTO_TRY(auto var, variant_of(v, "result"), "read the result");
  if (var.first == "None") return ActionResult::none();
  if (var.first == "Job") return ActionResult::job();
  if (var.first == "Resource") {
    PELTO_TRY(auto kind, text_in(var.second, "resource_kind", "result"), "read the result");
    return ActionResult::resource(std::move(kind));
  }
  if (var.first == "Json") {
    auto it = var.second.find("schema");
    return ActionResult::json(it == var.second.end() ? nlohmann::json() : nlohmann::json(*it));
  }
  return failf("\"result\" has no variant {}", var.first);
}

Result<ActionParam> param_from(const ojson& v, size_t index) {
  std::string field = fmt::format("parameters[{}]", index);
  if (!v.is_object()) return failf("\"{}\" must be an object", field);
  ActionParam p;
  PELTO_TRY(p.name, text_in(v, "name", field), "read a parameter");
  if (auto it = v.find("description"); it != v.end()) {
    if (!it->is_string()) return failf("\"{}\" needs the text \"description\"", field);
    p.description = it->get<std::string>();
  }
  if (auto it = v.find("type"); it != v.end()) {
    auto type = it->is_string() ? type_from_word(it->get_ref<const std::string&>()) : std::nullopt;
    if (!type) return failf("\"{}\" has no type {}", field, it->dump());
    p.type = *type;
  }
  if (auto it = v.find("required"); it != v.end()) {
    if (!it->is_boolean()) return failf("\"{}\" needs the boolean \"required\"", field);
    p.required = it->get<bool>();
  }
  if (auto it = v.find("choices"); it != v.end() && !it->is_null()) {
    if (!it->is_array()) return failf("\"{}\" needs an array of \"choices\"", field);
    for (const auto& c : *it) {
      if (!c.is_string()) return failf("\"{}\" has a choice that is not a text", field);
      p.choices.push_back(c.get<std::string>());
    }
  }
  if (auto it = v.find("constraints"); it != v.end() && !it->is_null()) p = p.with_schema(nlohmann::json(*it));
  return p;
}

}  // namespace

ojson descriptor_to_json(const OperationDescriptor& d) {
  ojson out = ojson::object();
  out["resource_id"] = d.resource_id;
  out["action_id"] = d.action_id;
  out["resource_kind"] = d.resource_kind;
  out["resource_label"] = d.resource_label;
  out["action_label"] = d.action_label;
  out["description"] = optional_text(d.description);
  out["input_summary"] = optional_text(d.input_summary);
  out["availability"] =
      d.availability ? ojson{{"reason", d.availability->reason}, {"message", d.availability->message}} : ojson(nullptr);
  out["confirmation"] = confirmation_json(d.confirmation);
  out["execution"] = execution_json(d.execution);
  out["result"] = result_json(d.result);
  out["reversible"] = d.reversible;
  out["retry"] = name_of(d.retry);
  out["risk"] = name_of(d.risk);
  out["permission"] = name_of(d.permission);
  ojson params = ojson::array();
  for (const auto& p : d.parameters) {
    params.push_back(ojson{{"name", p.name},
                           {"description", p.description},
                           {"type", type_word(p.type)},
                           {"required", p.required},
                           {"choices", p.choices},
                           {"constraints", p.constraints ? ojson(*p.constraints) : ojson(nullptr)}});
  }
  out["parameters"] = std::move(params);
  out["note"] = optional_text(d.note);
  out["content_input"] = d.content_input ? ojson{{"consumes", d.content_input->consumes},
                                                 {"description", d.content_input->description}}
                                         : ojson(nullptr);
  out["contract"] = d.contract ? ojson{{"operation_type", d.contract->operation_type},
                                       {"capabilities", d.contract->capabilities}}
                               : ojson(nullptr);
  return out;
}

Result<OperationDescriptor> descriptor_from_json(const ojson& v) {
  if (!v.is_object()) return fail("an operation descriptor must be a JSON object");
  OperationDescriptor d;
  auto member = [&](std::string_view key) -> const ojson* {
    auto it = v.find(std::string(key));
    return it == v.end() || it->is_null() ? nullptr : &*it;
  };
  auto text = [&](std::string_view key, std::string& into, bool required) -> Result<void> {
    const ojson* m = member(key);
    if (!m) return required ? failf("the descriptor lacks \"{}\"", key) : Result<void>{};
    if (!m->is_string()) return failf("the descriptor's \"{}\" must be a text", key);
    into = m->get<std::string>();
    return {};
  };
  auto optional = [&](std::string_view key, std::optional<std::string>& into) -> Result<void> {
    if (!member(key)) return {};
    std::string s;
    PELTO_CHECK(text(key, s, true), "read the descriptor");
    into = std::move(s);
    return {};
  };
  PELTO_CHECK(text("resource_id", d.resource_id, true), "read the descriptor");
  PELTO_CHECK(text("action_id", d.action_id, true), "read the descriptor");
  PELTO_CHECK(text("resource_kind", d.resource_kind, false), "read the descriptor");
  PELTO_CHECK(text("resource_label", d.resource_label, false), "read the descriptor");
  PELTO_CHECK(text("action_label", d.action_label, false), "read the descriptor");
  PELTO_CHECK(optional("description", d.description), "read the descriptor");
  PELTO_CHECK(optional("input_summary", d.input_summary), "read the descriptor");
  PELTO_CHECK(optional("note", d.note), "read the descriptor");
  if (const ojson* m = member("availability")) {
    if (!m->is_object()) return fail("the descriptor's \"availability\" must be an object or null");
    PELTO_TRY(auto reason, text_in(*m, "reason", "availability"), "read the descriptor");
    PELTO_TRY(auto message, text_in(*m, "message", "availability"), "read the descriptor");
    d.availability = Availability{std::move(reason), std::move(message)};
  }
  if (const ojson* m = member("confirmation")) {
    PELTO_TRY(d.confirmation, confirmation_from(*m), "read the descriptor");
  }
  if (const ojson* m = member("execution")) {
    PELTO_TRY(d.execution, execution_from(*m), "read the descriptor");
  }
  if (const ojson* m = member("result")) {
    PELTO_TRY(d.result, result_from(*m), "read the descriptor");
  }
  if (const ojson* m = member("reversible")) {
    if (!m->is_boolean()) return fail("the descriptor's \"reversible\" must be a boolean");
    d.reversible = m->get<bool>();
  }
  if (const ojson* m = member("retry")) {
    PELTO_TRY(d.retry, enum_named(*m, "retry", kRetries), "read the descriptor");
  }
  if (const ojson* m = member("risk")) {
    PELTO_TRY(d.risk, enum_named(*m, "risk", kRisks), "read the descriptor");
  }
  if (const ojson* m = member("permission")) {
    PELTO_TRY(d.permission, enum_named(*m, "permission", kPermissions), "read the descriptor");
  }
  if (const ojson* m = member("parameters")) {
    if (!m->is_array()) return fail("the descriptor's \"parameters\" must be an array");
    for (size_t i = 0; i < m->size(); ++i) {
      PELTO_TRY(auto p, param_from((*m)[i], i), "read the descriptor");
      d.parameters.push_back(std::move(p));
    }
  }
  if (const ojson* m = member("content_input")) {
    if (!m->is_object()) return fail("the descriptor's \"content_input\" must be an object or null");
    PELTO_TRY(bool consumes, bool_in(*m, "consumes", "content_input"), "read the descriptor");
    std::string description;
    if (auto it = m->find("description"); it != m->end() && it->is_string()) description = it->get<std::string>();
    d.content_input = ContentInput{consumes, std::move(description)};
  }
  if (const ojson* m = member("contract")) {
    if (!m->is_object()) return fail("the descriptor's \"contract\" must be an object or null");
    ActionContract c;
    PELTO_TRY(c.operation_type, text_in(*m, "operation_type", "contract"), "read the descriptor");
    if (auto it = m->find("capabilities"); it != m->end() && !it->is_null()) {
      if (!it->is_array()) return fail("the descriptor's contract \"capabilities\" must be an array");
      for (const auto& tag : *it) {
        if (!tag.is_string()) return fail("the descriptor's contract has a capability that is not a text");
        c.capabilities.push_back(tag.get<std::string>());
      }
    }
    d.contract = std::move(c);
  }
  return d;
}

Result<OperationDescriptor> descriptor_from_json_text(std::string_view text) {
  PELTO_TRY(auto value, parse_json_strict(text), "read the descriptor");
  return descriptor_from_json(value);
}

}  // namespace pelto::actions
