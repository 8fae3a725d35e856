#include "apps/agent/cli/settings.h"

#include <uuid/uuid.h>

namespace pelto::agent {

Duration duration_from_ms(uint64_t ms) {
  return Duration{ms / 1000, static_cast<uint32_t>((ms % 1000) * 1000000)};
}

std::chrono::nanoseconds Duration::to_chrono() const {
  constexpr uint64_t kMaxSeconds = static_cast<uint64_t>(std::chrono::nanoseconds::max().count()) / 1000000000 - 1;
  if (seconds > kMaxSeconds) return std::chrono::nanoseconds::max();
  return std::chrono::seconds(seconds) + std::chrono::nanoseconds(nanos);
}

uint64_t Duration::whole_ms() const { return seconds * 1000 + nanos / 1000000; }

std::string room_text(const RoomId& room) {
  char text[37];
  uuid_unparse_lower(room.data(), text);
  return text;
}

}  // namespace pelto::agent
