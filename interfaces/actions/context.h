#pragma once
// The action context: under what an action is performed (the label of the task, the application
// and resource it concerns, a purpose, the group of actions it belongs to, and free facets). A
// broker task run carries one; the agent builds one for each of its own document runs and stamps
// every commit of the run with it.
//
// JSON form: an object with the keys "action_label" (text), "app", "resource", "group" (records,
// or null for absent), "purpose" (text, or null for absent) and "facets" (array of records), in
// that order. Every key may be missing (empty text, no record, no facets); other keys are ignored;
// a key given twice is an error. The records' keys are all required texts, in this order:
//   ActionApp "id", "label"; ActionResource "id", "kind", "label"; ActionGroup "id", "label",
//   "kind"; ActionFacet "key", "value".
// A record is an object (other keys ignored, a missing or duplicated key an error) or an array of
// exactly its values in that order.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "interfaces/base/error.h"

namespace pelto::actions {

struct ActionApp {
  std::string id;
  std::string label;
  friend bool operator==(const ActionApp&, const ActionApp&) = default;
};

struct ActionResource {
  std::string id;
  std::string kind;
  std::string label;
  friend bool operator==(const ActionResource&, const ActionResource&) = default;
};

struct ActionGroup {
  std::string id;
  std::string label;
  std::string kind;
  friend bool operator==(const ActionGroup&, const ActionGroup&) = default;
};

struct ActionFacet {
  std::string key;
  std::string value;
  friend bool operator==(const ActionFacet&, const ActionFacet&) = default;
};

struct ActionContext {
  std::string action_label;
  std::optional<ActionApp> app;
  std::optional<ActionResource> resource;
  std::optional<std::string> purpose;
  std::optional<ActionGroup> group;
  std::vector<ActionFacet> facets;

  ActionContext with_facet(ActionFacet facet) const;
  // The message recorded with a commit made under this context: the action label trimmed, or
  // nothing when it is blank.
  std::optional<std::string> change_message() const;

  // Decodes a parsed value. Duplicated keys cannot be seen in a parsed value: read JSON text with
  // from_json_text (or parse_json_strict first) wherever the text is at hand.
  static Result<ActionContext> from_json(const nlohmann::ordered_json& value);
  static Result<ActionContext> from_json_text(std::string_view text);
  nlohmann::ordered_json to_json() const;

  friend bool operator==(const ActionContext&, const ActionContext&) = default;
};

namespace context {
// Admits a context text only when it has content (not empty, not only white space).
std::optional<std::string> nonempty(std::string_view text);
}  // namespace context

}  // namespace pelto::actions
