#include "apps/agent/session/instruction.h"

#include "interfaces/base/utf8.h"

namespace pelto::agent {

std::optional<std::string> addressed_request(std::string_view text, std::string_view name) {
  std::string address = utf8::to_lower(name) + ":";
  std::string lowered = utf8::to_lower(utf8::trim(text));
  if (!std::string_view(lowered).starts_with(address)) return std::nullopt;
  return std::string(utf8::trim(std::string_view(lowered).substr(address.size())));
}

std::optional<Instruction> find_instruction(std::span<const BlockView> blocks, std::string_view name) {
  for (const auto& b : blocks) {
    if (b.kind != "paragraph") continue;
    if (auto request = addressed_request(b.text, name))
      return Instruction{std::string(b.id), std::string(b.text), std::move(*request)};
  }
  return std::nullopt;
}

}  // namespace pelto::agent
