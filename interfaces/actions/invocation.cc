#include "interfaces/actions/invocation.h"

#include <uuid/uuid.h>

namespace pelto::actions {

InvocationId InvocationId::new_() {
  uuid_t id;
  uuid_generate_random(id);
  char text[37];
  uuid_unparse_lower(id, text);
  return InvocationId(text);
}

std::optional<InvocationId> InvocationId::parse(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  std::string copy(text);
  uuid_t id;
  if (uuid_parse(copy.c_str(), id) != 0) return std::nullopt;
  char lower[37];
  uuid_unparse_lower(id, lower);
  return InvocationId(lower);
}

}  // namespace pelto::actions
