#pragma once
// Finding the paragraph addressed to the agent: the first block of kind "paragraph" whose trimmed,
// lower-cased text begins with the lower-cased name and ":". The same test chooses between two
// documents of different histories (the one with an addressed paragraph is the agent's).
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pelto::agent {

// A block of the flattened document, in document order.
struct BlockView {
  std::string_view id;
  std::string_view kind;
  std::string_view text;
};

struct Instruction {
  std::string block_id;
  std::string text;     // the paragraph's full text as it stands
  std::string request;  // after the address, lower-cased and trimmed; may be empty
};

// The request when `text` is addressed to `name`.
std::optional<std::string> addressed_request(std::string_view text, std::string_view name);

// The first addressed paragraph, handled or not.
std::optional<Instruction> find_instruction(std::span<const BlockView> blocks, std::string_view name);

}  // namespace pelto::agent
