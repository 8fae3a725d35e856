#include "interfaces/actions/context.h"

#include <array>
#include <span>

#include <fmt/format.h>

#include "interfaces/actions/strict_json.h"
#include "interfaces/base/utf8.h"

namespace pelto::actions {

using ojson = nlohmann::ordered_json;

namespace {

// Reads a record's texts, in `keys` order, from an object or an array of exactly its values.
Result<std::vector<std::string>> read_record(const ojson& v, std::string_view record,
                                             std::span<const std::string_view> keys) {
  std::vector<std::string> out;
  if (v.is_array()) {
    if (v.size() < keys.size()) {
      return failf("{} has {} values, fewer than its {} ({})", record, v.size(), keys.size(),
                   fmt::join(keys, ", "));
    }
    if (v.size() > keys.size()) {
      return failf("{} has {} values, more than its {} ({})", record, v.size(), keys.size(),
                   fmt::join(keys, ", "));
    }
    for (size_t i = 0; i < keys.size(); ++i) {
      if (!v[i].is_string()) return failf("{} value {} (\"{}\") must be a text", record, i + 1, keys[i]);
      out.push_back(v[i].get<std::string>());
    }
    return out;
  }
  if (!v.is_object()) return failf("{} must be an object or an array of its values", record);
  for (std::string_view key : keys) {
    auto found = v.find(std::string(key));
    if (found == v.end()) return failf("{} lacks \"{}\"", record, key);
    if (!found->is_string()) return failf("{} \"{}\" must be a text", record, key);
    out.push_back(found->get<std::string>());
  }
  return out;
}

constexpr std::array<std::string_view, 2> kAppKeys = {"id", "label"};
constexpr std::array<std::string_view, 3> kResourceKeys = {"id", "kind", "label"};
constexpr std::array<std::string_view, 3> kGroupKeys = {"id", "label", "kind"};
constexpr std::array<std::string_view, 2> kFacetKeys = {"key", "value"};

}  // namespace

ActionContext ActionContext::with_facet(ActionFacet facet) const {
  ActionContext c = *this;
  c.facets.push_back(std::move(facet));
  return c;
}

std::optional<std::string> ActionContext::change_message() const {
  return context::nonempty(utf8::trim(action_label));
}

Result<ActionContext> ActionContext::from_json(const ojson& value) {
  if (!value.is_object()) return fail("an action context must be a JSON object");
  ActionContext c;
  auto member = [&](std::string_view key) -> const ojson* {
    auto it = value.find(std::string(key));
    return it == value.end() ? nullptr : &*it;
  };
  if (const ojson* v = member("action_label")) {
    if (!v->is_string()) return fail("the action context's \"action_label\" must be a text");
    c.action_label = v->get<std::string>();
  }
  if (const ojson* v = member("app"); v && !v->is_null()) {
    PELTO_TRY(auto f, read_record(*v, "the action context's app", kAppKeys), "read the action context");
    c.app = ActionApp{f[0], f[1]};
  }
  if (const ojson* v = member("resource"); v && !v->is_null()) {
    PELTO_TRY(auto f, read_record(*v, "the action context's resource", kResourceKeys), "read the action context");
    c.resource = ActionResource{f[0], f[1], f[2]};
  }
  if (const ojson* v = member("purpose"); v && !v->is_null()) {
    if (!v->is_string()) return fail("the action context's \"purpose\" must be a text or null");
    c.purpose = v->get<std::string>();
  }
  if (const ojson* v = member("group"); v && !v->is_null()) {
    PELTO_TRY(auto f, read_record(*v, "the action context's group", kGroupKeys), "read the action context");
    c.group = ActionGroup{f[0], f[1], f[2]};
  }
  if (const ojson* v = member("facets")) {
    if (!v->is_array()) return fail("the action context's \"facets\" must be an array");
    for (size_t i = 0; i < v->size(); ++i) {
      PELTO_TRY(auto f, read_record((*v)[i], fmt::format("the action context's facet {}", i + 1), kFacetKeys),
                "read the action context");
      c.facets.push_back(ActionFacet{f[0], f[1]});
    }
  }
  return c;
}

Result<ActionContext> ActionContext::from_json_text(std::string_view text) {
  PELTO_TRY(auto value, parse_json_strict(text), "read the action context");
  return from_json(value);
}

ojson ActionContext::to_json() const {
  ojson out = ojson::object();
  out["action_label"] = action_label;
  out["app"] = app ? ojson{{"id", app->id}, {"label", app->label}} : ojson(nullptr);
  out["resource"] = resource ? ojson{{"id", resource->id}, {"kind", resource->kind}, {"label", resource->label}}
                             : ojson(nullptr);
  out["purpose"] = purpose ? ojson(*purpose) : ojson(nullptr);
  out["group"] = group ? ojson{{"id", group->id}, {"label", group->label}, {"kind", group->kind}} : ojson(nullptr);
  ojson facet_list = ojson::array();
  for (const auto& f : facets) facet_list.push_back(ojson{{"key", f.key}, {"value", f.value}});
  out["facets"] = std::move(facet_list);
  return out;
}

namespace context {
std::optional<std::string> nonempty(std::string_view text) {
  if (utf8::trim(text).empty()) return std::nullopt;
  return std::string(text);
}
}  // namespace context

}  // namespace pelto::actions
