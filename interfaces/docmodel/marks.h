#pragma once
// Mark values and marked spans as the word processor speaks of them, with their JSON form
// (externally tagged: {"Bool": true}, {"Int": 3}, {"Str": "https://…"}).
#include <cstdint>
#include <string>
#include <variant>

#include <nlohmann/json.hpp>

#include "interfaces/base/error.h"
#include "interfaces/crdt/types.h"

namespace pelto::model {

struct MarkValue {
  std::variant<bool, int64_t, std::string> v;

  static MarkValue Bool(bool b) { return {b}; }
  static MarkValue Int(int64_t i) { return {i}; }
  static MarkValue Str(std::string s) { return {std::move(s)}; }

  crdt::Scalar to_scalar() const;
  // Nothing for scalars a mark value cannot be (null, float, bytes, a uint64 beyond int64).
  static std::optional<MarkValue> from_scalar(const crdt::Scalar& s);

  nlohmann::ordered_json to_json() const;
  static Result<MarkValue> from_json(const nlohmann::json& j);
  friend bool operator==(const MarkValue&, const MarkValue&) = default;
};

// A marked span of one block's text, in characters, end exclusive.
struct MarkSpan {
  size_t start = 0;
  size_t end = 0;
  std::string name;
  MarkValue value;

  nlohmann::ordered_json to_json() const;
  static Result<MarkSpan> from_json(const nlohmann::json& j);
  friend bool operator==(const MarkSpan&, const MarkSpan&) = default;
};

// How a mark of this name grows when text is typed at its edges: formatting grows after its end;
// links, anchors and fields do not grow.
crdt::Expand expand_for(std::string_view mark_name);

}  // namespace pelto::model
