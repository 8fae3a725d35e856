#pragma once
// The structured log: one line per notable step on standard error, with level, target (the module),
// a fixed message and named fields appended as key=value (a string value is quoted when it holds
// spaces, quotes or nothing at all).
//
//   pelto::log::info("agent", "joined the room; waiting for the document",
//                    {{"transport", transport}, {"app", app}, {"record", record_or_nullopt}});
//
// The filter comes from SPDLOG_LEVEL: a default level and/or per-target levels, comma separated
// ("debug", "warn,wire=trace"). Unset, empty or unparsable, the filter is "info".
// Safe to call from any thread.
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include <spdlog/common.h>

namespace pelto::log {

using Level = spdlog::level::level_enum;

// One named field. Absent optionals are left out of the line.
struct Field {
  std::string key;
  std::optional<std::string> value;

  Field(std::string_view k, std::string_view v);
  Field(std::string_view k, const std::string& v) : Field(k, std::string_view(v)) {}
  Field(std::string_view k, const char* v) : Field(k, std::string_view(v)) {}
  Field(std::string_view k, bool v) : key(k), value(v ? "true" : "false") {}
  template <class N>
    requires(std::is_arithmetic_v<N> && !std::is_same_v<N, bool>)
  Field(std::string_view k, N v) : key(k), value(std::to_string(v)) {}
  template <class T>
  Field(std::string_view k, const std::optional<T>& v) : key(k) {
    if (v) value = Field(k, *v).value;
  }
};

struct Filter {
  Level default_level = Level::info;
  std::map<std::string, Level, std::less<>> targets;

  Level level_for(std::string_view target) const;
};

// Parses a directive list; nullopt when any part is not a level or target=level.
std::optional<Filter> parse_filter(std::string_view directives);
// The filter SPDLOG_LEVEL asks for, or "info".
Filter filter_from_env();

// Installs the log on standard error with the filter of SPDLOG_LEVEL. Idempotent.
void install();
// Replaces the filter (tests, tools).
void set_filter(Filter filter);

bool enabled(Level level, std::string_view target);
void write(Level level, std::string_view target, std::string_view message,
           std::initializer_list<Field> fields = {});
// The text of one line after the target: message and fields.
std::string render(std::string_view message, std::initializer_list<Field> fields);

inline void trace(std::string_view t, std::string_view m, std::initializer_list<Field> f = {}) {
  write(Level::trace, t, m, f);
}
inline void debug(std::string_view t, std::string_view m, std::initializer_list<Field> f = {}) {
  write(Level::debug, t, m, f);
}
inline void info(std::string_view t, std::string_view m, std::initializer_list<Field> f = {}) {
  write(Level::info, t, m, f);
}
inline void warn(std::string_view t, std::string_view m, std::initializer_list<Field> f = {}) {
  write(Level::warn, t, m, f);
}
inline void error(std::string_view t, std::string_view m, std::initializer_list<Field> f = {}) {
  write(Level::err, t, m, f);
}

}  // namespace pelto::log
