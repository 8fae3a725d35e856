#pragma once
// The settings record: the command line, parsed once and handed whole and read-only to the run mode.
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "interfaces/ui/permission.h"

namespace pelto::agent {

// A span of time as whole seconds plus nanoseconds, so every unsigned 64-bit millisecond count fits
// (std::chrono::nanoseconds overflows past 292 years).
struct Duration {
  uint64_t seconds = 0;
  uint32_t nanos = 0;

  // Saturates at the largest steady-clock span, which is "forever" for every wait here.
  std::chrono::nanoseconds to_chrono() const;
  uint64_t whole_ms() const;
  bool is_zero() const { return seconds == 0 && nanos == 0; }
  friend bool operator==(const Duration&, const Duration&) = default;
};
using RoomId = std::array<uint8_t, 16>;

struct Settings {
  ui::PermissionContext permission;  // built at startup from name and app
  std::string app;
  std::string name;  // also the agent's connection id
  std::optional<std::string> endpoint;
  std::optional<std::string> record;
  Duration pace{};
  Duration model_timeout{};
  Duration await_document{};
  Duration settle{};
  RoomId room{};
  bool once = false;
  bool use_model = true;
};

// Milliseconds as whole seconds plus the remainder in nanoseconds.
Duration duration_from_ms(uint64_t ms);
// The canonical lower-case text form of a room id.
std::string room_text(const RoomId& room);

}  // namespace pelto::agent
