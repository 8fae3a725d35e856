#pragma once
// Text forms of room ids: the hyphenated lower-case form the room announces itself with.
#include <optional>
#include <string>
#include <string_view>

#include "interfaces/collab/messages.h"

namespace pelto::collab {

// "4f1c…-…" (36 characters, lower case).
std::string room_text(const RoomId& room);
// Parses any case of the hyphenated form; nullopt when it is not one.
std::optional<RoomId> parse_room(std::string_view text);
// "app=… room=… record=…" for logs; "untitled" when there is no record.
std::string describe(const Route& route);

}  // namespace pelto::collab
