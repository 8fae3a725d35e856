#pragma once
// One structured argument of an action, as the application declares it: name, the application's
// prompt for it, its type, whether it is required, the texts it must be one of (when any), and a
// JSON schema that bound values must satisfy (its `constraints`, attached with with_schema).
//
// A parameter is a plain value; the schema is compiled once by with_schema and shared by copies.
// A schema that does not compile is kept with its error, and every value bound against it is
// refused with that error, so a broken declaration is reported rather than silently ignored.
// A schema that matches texts against a pattern or format refuses texts longer than
// kMaxPatternText bytes: the regular-expression matcher cannot take them safely.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace pelto::actions {

// Texts longer than this are refused rather than matched against a schema's pattern or format.
inline constexpr size_t kMaxPatternText = 4096;

enum class ParamType { Text, Integer, Number, Boolean, Object, Array, Resource, Datetime, Secret };

// The word shown for a type: "text", "integer", "number", "boolean", "object", "array", "resource",
// "datetime", "secret".
std::string_view type_word(ParamType type);
std::optional<ParamType> type_from_word(std::string_view word);

struct CompiledSchema;  // opaque; lives in param.cc

struct ActionParam {
  std::string name;
  std::string description;
  ParamType type = ParamType::Text;
  bool required = false;
  std::vector<std::string> choices;       // empty: any value of the type
  std::optional<nlohmann::json> constraints;  // the JSON schema, when one is attached

  static ActionParam text(std::string name, std::string description, bool required);
  static ActionParam of(std::string name, ParamType type, std::string description, bool required);

  ActionParam with_schema(nlohmann::json schema) const;
  ActionParam with_choices(std::vector<std::string> choices) const;

  // The compiled form of `constraints` (null when there is none).
  const std::shared_ptr<const CompiledSchema>& compiled() const { return compiled_; }

 private:
  std::shared_ptr<const CompiledSchema> compiled_;
};

}  // namespace pelto::actions
