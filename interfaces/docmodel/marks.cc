#include "interfaces/docmodel/marks.h"

#include <limits>

namespace pelto::model {

crdt::Scalar MarkValue::to_scalar() const {
  return std::visit([](const auto& x) -> crdt::Scalar { return x; }, v);
}

std::optional<MarkValue> MarkValue::from_scalar(const crdt::Scalar& s) {
  if (auto b = std::get_if<bool>(&s)) return Bool(*b);
  if (auto i = std::get_if<int64_t>(&s)) return Int(*i);
  if (auto u = std::get_if<uint64_t>(&s)) {
    if (*u <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return Int(static_cast<int64_t>(*u));
    return std::nullopt;
  }
  if (auto str = std::get_if<std::string>(&s)) return Str(*str);
  return std::nullopt;
}

nlohmann::ordered_json MarkValue::to_json() const {
  nlohmann::ordered_json j = nlohmann::ordered_json::object();
  if (auto b = std::get_if<bool>(&v)) j["Bool"] = *b;
  if (auto i = std::get_if<int64_t>(&v)) j["Int"] = *i;
  if (auto s = std::get_if<std::string>(&v)) j["Str"] = *s;
  return j;
}

Result<MarkValue> MarkValue::from_json(const nlohmann::json& j) {
  if (!j.is_object() || j.size() != 1) return fail("a mark value is an object with one of \"Bool\", \"Int\", \"Str\"");
  const std::string& name = j.begin().key();
  const nlohmann::json& inner = j.begin().value();
  if (name == "Bool") {
    if (!inner.is_boolean()) return fail("a \"Bool\" mark value must be true or false");
    return Bool(inner.get<bool>());
  }
  if (name == "Int") {
    if (inner.is_number_integer() && !(inner.is_number_unsigned() &&
                                       inner.get<uint64_t>() > uint64_t(std::numeric_limits<int64_t>::max())))
      return Int(inner.get<int64_t>());
    return fail("an \"Int\" mark value must be a signed 64-bit integer");
  }
  if (name == "Str") {
    if (!inner.is_string()) return fail("a \"Str\" mark value must be a text");
    return Str(inner.get<std::string>());
  }
  return failf("unknown mark value variant \"{}\"", name);
}

nlohmann::ordered_json MarkSpan::to_json() const {
  nlohmann::ordered_json j;
  j["start"] = start;
  j["end"] = end;
  j["name"] = name;
  j["value"] = value.to_json();
  return j;
}

Result<MarkSpan> MarkSpan::from_json(const nlohmann::json& j) {
  if (!j.is_object()) return fail("a mark span is an object");
  MarkSpan span;
  for (auto [field, slot] : {std::pair{"start", &span.start}, std::pair{"end", &span.end}}) {
    auto it = j.find(field);
    bool ok = it != j.end() && it->is_number_integer() && (it->is_number_unsigned() || it->get<int64_t>() >= 0);
    if (!ok) return failf("a mark span needs \"{}\" as an unsigned integer", field);
    *slot = it->get<size_t>();
  }
  auto name = j.find("name");
  if (name == j.end() || !name->is_string()) return fail("a mark span needs \"name\" as a text");
  span.name = name->get<std::string>();
  auto value = j.find("value");
  if (value == j.end()) return fail("a mark span needs \"value\"");
  PELTO_TRY(span.value, MarkValue::from_json(*value), "mark span value");
  return span;
}

crdt::Expand expand_for(std::string_view mark_name) {
  if (mark_name == "link" || mark_name == "comment" || mark_name == "insertion" ||
      mark_name == "deletion" || mark_name == "field")
    return crdt::Expand::None;
  return crdt::Expand::After;
}

}  // namespace pelto::model
