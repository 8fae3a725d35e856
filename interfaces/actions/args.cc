#include "interfaces/actions/args.h"

#include <algorithm>
#include <regex>

#include <fmt/format.h>

#include "interfaces/actions/schema_check.h"

namespace pelto::actions {

std::string ArgError::display() const {
  switch (kind_) {
    case Kind::NotAnObject: return fmt::format("the arguments must be a JSON object, not {}", detail_);
    case Kind::Missing: return fmt::format("the required argument `{}` is missing", parameter_);
    case Kind::WrongType: return fmt::format("the argument `{}` {}", parameter_, detail_);
    case Kind::NotAChoice: return fmt::format("the argument `{}` must be one of {}", parameter_, detail_);
    case Kind::Schema: return fmt::format("the argument `{}` is not acceptable: {}", parameter_, detail_);
    case Kind::Unknown: return fmt::format("`{}` is not an argument of this action", parameter_);
  }
  return "the arguments are not acceptable";
}

namespace {

std::string json_kind(const nlohmann::json& v) {
  switch (v.type()) {
    case nlohmann::json::value_t::null: return "null";
    case nlohmann::json::value_t::boolean: return "a boolean";
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned: return "an integer";
    case nlohmann::json::value_t::number_float: return "a number";
    case nlohmann::json::value_t::string: return "a text";
    case nlohmann::json::value_t::array: return "an array";
    case nlohmann::json::value_t::object: return "an object";
    default: return "a value of another kind";
  }
}

// ISO-8601 calendar date, optionally with a time of day and zone ("2026-12-11",
// "2026-12-11T14:30:00Z", "2026-12-11 14:30+01:00").
bool is_datetime(const std::string& s) {
  static const std::regex form(
      R"(^(\d{4})-(\d{2})-(\d{2})([Tt ](\d{2}):(\d{2})(:(\d{2})(\.\d+)?)?([Zz]|[+-]\d{2}:?\d{2})?)?$)");
  std::smatch m;
  if (s.size() > 64 || !std::regex_match(s, m, form)) return false;
  int month = std::stoi(m[2]), day = std::stoi(m[3]);
  int year = std::stoi(m[1]);
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return false;
  if (m[4].matched) {
    if (std::stoi(m[5]) > 23 || std::stoi(m[6]) > 59) return false;
    if (m[8].matched && std::stoi(m[8]) > 60) return false;
  }
  return true;
}

// Nothing when the value has the declared type; otherwise the rest of "the argument `x` ...".
std::optional<std::string> type_problem(const ActionParam& p, const nlohmann::json& v) {
  bool ok = false;
  switch (p.type) {
    case ParamType::Text:
    case ParamType::Secret: ok = v.is_string(); break;
    case ParamType::Resource: ok = v.is_string() && !v.get_ref<const std::string&>().empty(); break;
    case ParamType::Datetime: ok = v.is_string() && is_datetime(v.get_ref<const std::string&>()); break;
    case ParamType::Integer: ok = v.is_number_integer(); break;
    case ParamType::Number: ok = v.is_number(); break;
    case ParamType::Boolean: ok = v.is_boolean(); break;
    case ParamType::Object: ok = v.is_object(); break;
    case ParamType::Array: ok = v.is_array(); break;
  }
  if (ok) return std::nullopt;
  switch (p.type) {
    case ParamType::Resource:
      if (v.is_string()) return "must name a resource, not be empty";
      break;
    case ParamType::Datetime:
      if (v.is_string()) return fmt::format("must be an ISO-8601 date or date and time, not {}", v.dump());
      break;
    default: break;
  }
  std::string_view word = type_word(p.type);
  bool vowel = word.front() == 'a' || word.front() == 'i' || word.front() == 'o';
  return fmt::format("must be {} {}, not {}", vowel ? "an" : "a", word, json_kind(v));
}

}  // namespace

std::expected<ActionArgs, ArgError> ActionArgs::bind_json(std::span<const ActionParam> parameters,
                                                          const nlohmann::json& object) {
  if (!object.is_object()) return std::unexpected(ArgError(ArgError::Kind::NotAnObject, {}, json_kind(object)));
  ActionArgs bound;
  for (const ActionParam& p : parameters) {
    auto it = object.find(p.name);
    if (it == object.end() || it->is_null()) {
      if (p.required) return std::unexpected(ArgError(ArgError::Kind::Missing, p.name));
      continue;
    }
    if (auto problem = type_problem(p, *it)) {
      return std::unexpected(ArgError(ArgError::Kind::WrongType, p.name, *problem));
    }
    if (!p.choices.empty()) {
      bool listed = it->is_string() && std::find(p.choices.begin(), p.choices.end(),
                                                 it->get_ref<const std::string&>()) != p.choices.end();
      if (!listed) {
        std::string all;
        for (const auto& c : p.choices) all += (all.empty() ? "" : ", ") + nlohmann::json(c).dump();
        return std::unexpected(ArgError(ArgError::Kind::NotAChoice, p.name, all));
      }
    }
    if (p.compiled()) {
      if (auto problem = detail::check_schema(*p.compiled(), *it)) {
        return std::unexpected(ArgError(ArgError::Kind::Schema, p.name, *problem));
      }
    }
    bound.values_.emplace(p.name, *it);
  }
  for (const auto& [key, value] : object.items()) {
    bool declared = std::any_of(parameters.begin(), parameters.end(),
                                [&](const ActionParam& p) { return p.name == key; });
    if (!declared) return std::unexpected(ArgError(ArgError::Kind::Unknown, key));
  }
  return bound;
}

ActionArgs ActionArgs::unchecked(const nlohmann::json& object) {
  ActionArgs args;
  if (!object.is_object()) return args;
  for (const auto& [key, value] : object.items()) {
    if (!value.is_null()) args.values_.emplace(key, value);
  }
  return args;
}

ActionArgs ActionArgs::single_text(std::string name, std::string value) {
  ActionArgs args;
  args.values_.emplace(std::move(name), nlohmann::json(std::move(value)));
  return args;
}

const nlohmann::json* ActionArgs::value(std::string_view name) const {
  auto it = values_.find(name);
  return it == values_.end() ? nullptr : &it->second;
}

std::optional<std::string> ActionArgs::text(std::string_view name) const {
  const auto* v = value(name);
  if (!v || !v->is_string()) return std::nullopt;
  return v->get<std::string>();
}

std::optional<double> ActionArgs::number(std::string_view name) const {
  const auto* v = value(name);
  if (!v || !v->is_number()) return std::nullopt;
  return v->get<double>();
}

std::optional<int64_t> ActionArgs::integer(std::string_view name) const {
  const auto* v = value(name);
  if (!v) return std::nullopt;
  if (v->is_number_unsigned()) {
    auto u = v->get<uint64_t>();
    if (u > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
    return static_cast<int64_t>(u);
  }
  if (v->is_number_integer()) return v->get<int64_t>();
  return std::nullopt;
}

std::optional<bool> ActionArgs::boolean(std::string_view name) const {
  const auto* v = value(name);
  if (!v || !v->is_boolean()) return std::nullopt;
  return v->get<bool>();
}

std::optional<nlohmann::json> ActionArgs::array(std::string_view name) const {
  const auto* v = value(name);
  if (!v || !v->is_array()) return std::nullopt;
  return *v;
}

std::optional<std::vector<std::string>> ActionArgs::texts(std::string_view name) const {
  const auto* v = value(name);
  if (!v || !v->is_array()) return std::nullopt;
  std::vector<std::string> out;
  for (const auto& item : *v) {
    if (!item.is_string()) return std::nullopt;
    out.push_back(item.get<std::string>());
  }
  return out;
}

std::optional<nlohmann::json> ActionArgs::object(std::string_view name) const {
  const auto* v = value(name);
  if (!v || !v->is_object()) return std::nullopt;
  return *v;
}

}  // namespace pelto::actions
