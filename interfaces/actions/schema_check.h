#pragma once
// Checking a value against a parameter's compiled JSON schema (valijson, nlohmann adapter).
// Internal to the module: the texts come back ready to follow "argument `name`".
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "interfaces/actions/param.h"

namespace pelto::actions::detail {

// Nothing when the value satisfies the schema; otherwise what is wrong with it.
std::optional<std::string> check_schema(const CompiledSchema& schema, const nlohmann::json& value);

}  // namespace pelto::actions::detail
