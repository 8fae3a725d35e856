#pragma once
// Reading JSON text whose objects must not repeat a key. A repeated key makes an object ambiguous
// (readers disagree on which value counts), so it is refused while parsing, at any depth, before any
// value is trusted; so are syntax errors and texts nested deeper than the limit.
#include <string_view>

#include <nlohmann/json.hpp>

#include "interfaces/base/error.h"

namespace pelto::actions {

inline constexpr size_t kMaxJsonDepth = 128;

// Key order is kept as written.
Result<nlohmann::ordered_json> parse_json_strict(std::string_view text);

}  // namespace pelto::actions
