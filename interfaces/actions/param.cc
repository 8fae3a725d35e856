#include "interfaces/actions/param.h"

#include <algorithm>
#include <array>
#include <vector>

#include <fmt/format.h>

#include <valijson/adapters/nlohmann_json_adapter.hpp>
#include <valijson/schema.hpp>
#include <valijson/schema_parser.hpp>
#include <valijson/validation_results.hpp>
#include <valijson/validator.hpp>

#include "interfaces/actions/schema_check.h"

namespace pelto::actions {

struct CompiledSchema {
  valijson::Schema schema;
  std::optional<std::string> error;  // set when the declared schema did not compile
  bool matches_text = false;         // it checks texts with regular expressions
};

namespace {
// Whether a schema holds "pattern", "patternProperties" or "format" anywhere: those are checked
// with std::regex, whose matcher recurses once per character.
bool uses_regex(const nlohmann::json& schema) {
  std::vector<const nlohmann::json*> todo = {&schema};
  while (!todo.empty()) {
    const nlohmann::json* v = todo.back();
    todo.pop_back();
    if (v->is_object()) {
      for (const auto& [key, child] : v->items()) {
        if (key == "pattern" || key == "patternProperties" || key == "format") return true;
        todo.push_back(&child);
      }
    } else if (v->is_array()) {
      for (const auto& child : *v) todo.push_back(&child);
    }
  }
  return false;
}

// The longest text (value or object key) in a value, in bytes.
size_t longest_text(const nlohmann::json& value) {
  size_t longest = 0;
  std::vector<const nlohmann::json*> todo = {&value};
  while (!todo.empty()) {
    const nlohmann::json* v = todo.back();
    todo.pop_back();
    if (v->is_string()) {
      longest = std::max(longest, v->get_ref<const std::string&>().size());
    } else if (v->is_object()) {
      for (const auto& [key, child] : v->items()) {
        longest = std::max(longest, key.size());
        todo.push_back(&child);
      }
    } else if (v->is_array()) {
      for (const auto& child : *v) todo.push_back(&child);
    }
  }
  return longest;
}
}  // namespace

namespace {
constexpr std::array<std::string_view, 9> kTypeWords = {"text",  "integer",  "number",   "boolean", "object",
                                                        "array", "resource", "datetime", "secret"};
}

std::string_view type_word(ParamType type) { return kTypeWords[static_cast<size_t>(type)]; }

std::optional<ParamType> type_from_word(std::string_view word) {
  for (size_t i = 0; i < kTypeWords.size(); ++i) {
    if (kTypeWords[i] == word) return static_cast<ParamType>(i);
  }
  return std::nullopt;
}

ActionParam ActionParam::text(std::string name, std::string description, bool required) {
  return of(std::move(name), ParamType::Text, std::move(description), required);
}

ActionParam ActionParam::of(std::string name, ParamType type, std::string description, bool required) {
  ActionParam p;
  p.name = std::move(name);
  p.type = type;
  p.description = std::move(description);
  p.required = required;
  return p;
}

ActionParam ActionParam::with_choices(std::vector<std::string> choices_in) const {
  ActionParam p = *this;
  p.choices = std::move(choices_in);
  return p;
}

ActionParam ActionParam::with_schema(nlohmann::json schema) const {
  ActionParam p = *this;
  auto compiled = std::make_shared<CompiledSchema>();
  try {
    valijson::SchemaParser parser;
    valijson::adapters::NlohmannJsonAdapter adapter(schema);
    parser.populateSchema(adapter, compiled->schema);
  } catch (const std::exception& e) {
    compiled->error = std::string("its schema is not usable: ") + e.what();
  }
  compiled->matches_text = uses_regex(schema);
  p.constraints = std::move(schema);
  p.compiled_ = std::move(compiled);
  return p;
}

namespace detail {

namespace {
// "Failed to match regex specified by 'pattern' constraint." -> "failed to match regex ... constraint"
std::string tidy(std::string text) {
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
  return text;
}

// "<root>", "[0]" -> " at [0]"; the root itself names nothing more.
std::string where(const std::vector<std::string>& context) {
  std::string path;
  for (const auto& part : context) {
    if (part == "<root>") continue;
    path += part;
  }
  return path.empty() ? std::string() : " at " + path;
}
}  // namespace

std::optional<std::string> check_schema(const CompiledSchema& compiled, const nlohmann::json& value) {
  if (compiled.error) return *compiled.error;
  if (compiled.matches_text) {
    // Longer texts would exhaust the stack inside the regular-expression matcher.
    if (size_t longest = longest_text(value); longest > kMaxPatternText) {
      return fmt::format("a text of {} bytes is too long to be checked against its pattern (at most {})", longest,
                         kMaxPatternText);
    }
  }
  try {
    valijson::Validator validator;
    valijson::ValidationResults results;
    valijson::adapters::NlohmannJsonAdapter target(value);
    if (validator.validate(compiled.schema, target, &results)) return std::nullopt;
    valijson::ValidationResults::Error first;
    if (!results.popError(first)) return std::string("does not satisfy its schema");
    // The first error is the innermost one (an item's own failure comes before "item #0 failed").
    return tidy(first.description) + where(first.context);
  } catch (const std::exception& e) {
    return std::string("could not be checked against its schema: ") + e.what();
  }
}

}  // namespace detail
}  // namespace pelto::actions
