#pragma once
// The JSON form of an operation descriptor, as a participant publishes it to the broker's
// catalogue and as the agent reads it back. Key order is fixed (declaration order of
// OperationDescriptor); enumerations are externally tagged: a variant without fields is its name
// ("Confirm"), one with fields an object with the single key of its name ({"Phrase": {"phrase":
// "..."}}). Absent optional fields are null.
//
// Reading is for untrusted text: a repeated key, a value of the wrong type or an unknown variant
// name is an error naming the field. "resource_id" and "action_id" are required; every other key
// may be missing and then takes the value a new ActionSpec has. Parameter schemas are compiled
// again on reading.
#include <string_view>

#include <nlohmann/json.hpp>

#include "interfaces/actions/door.h"
#include "interfaces/base/error.h"

namespace pelto::actions {

nlohmann::ordered_json descriptor_to_json(const OperationDescriptor& descriptor);
Result<OperationDescriptor> descriptor_from_json(const nlohmann::ordered_json& value);
Result<OperationDescriptor> descriptor_from_json_text(std::string_view text);

}  // namespace pelto::actions
