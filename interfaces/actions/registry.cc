#include "interfaces/actions/registry.h"

#include "interfaces/actions/encoded.h"

namespace pelto::actions {

Result<void> ActionRegistry::add(std::string operation_type, Executor executor) {
  if (operation_type.size() <= kDocumentActionSuffix.size() || !operation_type.ends_with(kDocumentActionSuffix)) {
    return failf("`{}` is not a document action type, so no executor can be registered for it", operation_type);
  }
  if (!executor) return failf("the executor for `{}` is empty", operation_type);
  if (executors_.contains(operation_type)) {
    return failf("an executor for `{}` is already registered", operation_type);
  }
  executors_.emplace(std::move(operation_type), std::make_shared<const Executor>(std::move(executor)));
  return {};
}

const Executor* ActionRegistry::find(std::string_view operation_type) const {
  auto it = executors_.find(operation_type);
  return it == executors_.end() ? nullptr : it->second.get();
}

std::vector<std::string> ActionRegistry::operation_types() const {
  std::vector<std::string> out;
  for (const auto& [type, _] : executors_) out.push_back(type);
  return out;
}

}  // namespace pelto::actions
