#pragma once
// The executors of document actions, one per operation type ("chat.action"). Each application's
// registration function adds its executor before any invocation; the door looks it up for every
// `.action` payload it has to apply.
//
// An executor applies one payload to the document inside the caller's pending change: it must not
// commit, and it checks everything before its first write, so that a refusal leaves the document
// as it found it. Its answer is success (with what it produced) or a refusal text for people; an
// Error means the engine itself failed (a program or storage fault, not a refusal).
//
// A registry is a plain value; copies share the executors, which must not keep state of their own.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "interfaces/actions/outcome.h"
#include "interfaces/base/error.h"
#include "interfaces/crdt/document.h"

namespace pelto::actions {

struct ExecutionRequest {
  std::string_view operation_type;
  const nlohmann::json& payload;
  std::span<const uint8_t> actor;  // the invoking actor's id bytes (may be empty)
  std::string_view resource_id;
  std::string_view action_id;
};

struct ExecutorAnswer {
  std::optional<std::string> refusal;  // set: the action was refused and changed nothing
  std::vector<ProducedResource> resources;
  std::optional<std::string> content;

  static ExecutorAnswer done() { return {}; }
  static ExecutorAnswer refused(std::string text) { return {std::move(text), {}, {}}; }
};

using Executor = std::function<Result<ExecutorAnswer>(crdt::Document&, const ExecutionRequest&)>;

class ActionRegistry {
 public:
  ActionRegistry() = default;
  // An empty registry.
  static ActionRegistry new_() { return {}; }

  // Adds the executor of one document-action type; fails for a type that is not "{ns}.action" or
  // that already has one.
  Result<void> add(std::string operation_type, Executor executor);
  const Executor* find(std::string_view operation_type) const;
  std::vector<std::string> operation_types() const;  // sorted

 private:
  std::map<std::string, std::shared_ptr<const Executor>, std::less<>> executors_;
};

}  // namespace pelto::actions
