#include "interfaces/actions/outcome.h"

namespace pelto::actions::outcome {

namespace {
constexpr std::string_view kPrefix = "pelto.content:";

bool is_hash(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}
}  // namespace

std::string content_resource_id(std::string_view hash) { return std::string(kPrefix) + std::string(hash); }

ProducedResource content_resource(std::string_view hash, std::string label) {
  return {content_resource_id(hash), std::string(kContentKind), std::move(label)};
}

std::optional<std::string> content_hash(std::string_view resource_id) {
  if (!resource_id.starts_with(kPrefix)) return std::nullopt;
  std::string_view hash = resource_id.substr(kPrefix.size());
  if (!is_hash(hash)) return std::nullopt;
  return std::string(hash);
}

}  // namespace pelto::actions::outcome
