#pragma once
// Bound arguments of one invocation, and the binding that checks a JSON argument object against an
// action's parameters.
//
// bind_json accepts an object only when every required parameter is present (null counts as
// absent), every present value has its parameter's declared type, is one of its choices when it has
// any, satisfies its JSON schema, and no key names an unknown parameter. The first problem found,
// in declaration order (unknown keys after), is the ArgError; its display text names the parameter
// and says what is wrong, and callers quote it unchanged.
//
// Readers answer nothing for an absent argument or one of another JSON type.
#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "interfaces/actions/param.h"

namespace pelto::actions {

class ArgError {
 public:
  enum class Kind { NotAnObject, Missing, WrongType, NotAChoice, Schema, Unknown };
  ArgError(Kind kind, std::string parameter, std::string detail = {})
      : kind_(kind), parameter_(std::move(parameter)), detail_(std::move(detail)) {}

  Kind kind() const { return kind_; }
  const std::string& parameter() const { return parameter_; }  // empty for NotAnObject
  std::string display() const;

  friend bool operator==(const ArgError&, const ArgError&) = default;

 private:
  Kind kind_;
  std::string parameter_;
  std::string detail_;
};

class ActionArgs {
 public:
  ActionArgs() = default;

  static std::expected<ActionArgs, ArgError> bind_json(std::span<const ActionParam> parameters,
                                                       const nlohmann::json& object);
  // Takes every member as it is, unchecked: for content-consuming actions, whose input is bound
  // from the previous step's content rather than from declared parameters.
  static ActionArgs unchecked(const nlohmann::json& object);
  // One text argument (the single-text actions).
  static ActionArgs single_text(std::string name, std::string value);

  std::optional<std::string> text(std::string_view name) const;  // text, resource, datetime, secret
  std::optional<double> number(std::string_view name) const;     // any JSON number
  std::optional<int64_t> integer(std::string_view name) const;   // a JSON integer that fits
  std::optional<bool> boolean(std::string_view name) const;
  std::optional<nlohmann::json> array(std::string_view name) const;  // a JSON array
  // An array whose items are all texts (photograph ids and the like).
  std::optional<std::vector<std::string>> texts(std::string_view name) const;
  std::optional<nlohmann::json> object(std::string_view name) const;
  const nlohmann::json* value(std::string_view name) const;
  bool has(std::string_view name) const { return value(name) != nullptr; }
  size_t size() const { return values_.size(); }

 private:
  std::map<std::string, nlohmann::json, std::less<>> values_;
};

}  // namespace pelto::actions
