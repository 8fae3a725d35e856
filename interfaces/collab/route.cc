#include "interfaces/collab/route.h"

#include <uuid/uuid.h>

#include <fmt/format.h>

namespace pelto::collab {

std::string room_text(const RoomId& room) {
  char text[37];
  uuid_unparse_lower(room.data(), text);
  return text;
}

std::optional<RoomId> parse_room(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  std::string copy(text);
  RoomId id;
  if (uuid_parse(copy.c_str(), id.data()) != 0) return std::nullopt;
  return id;
}

std::string describe(const Route& route) {
  return fmt::format("app={} room={} record={}", route.app, room_text(route.room),
                     route.record ? *route.record : std::string("untitled"));
}

}  // namespace pelto::collab
