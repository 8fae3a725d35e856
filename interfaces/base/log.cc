#include "interfaces/base/log.h"

#include <cstdlib>
#include <memory>
#include <mutex>

#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

namespace pelto::log {
namespace {

std::optional<Level> parse_level(std::string_view s) {
  static const std::pair<std::string_view, Level> names[] = {
      {"trace", Level::trace}, {"debug", Level::debug}, {"info", Level::info},
      {"warn", Level::warn},   {"warning", Level::warn}, {"error", Level::err},
      {"err", Level::err},     {"critical", Level::critical}, {"off", Level::off},
  };
  for (const auto& [name, level] : names)
    if (s == name) return level;
  return std::nullopt;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool needs_quotes(std::string_view v) {
  if (v.empty()) return true;
  for (char c : v)
    if (c == ' ' || c == '"' || c == '\t' || c == '\n' || c == '=') return true;
  return false;
}

struct State {
  State() = default;
  State(State&& o) noexcept : filter(std::move(o.filter)), logger(std::move(o.logger)) {}
  std::mutex mutex;
  Filter filter;
  std::shared_ptr<spdlog::logger> logger;
};

std::shared_ptr<spdlog::logger> make_logger();

State& state() {
  // The first use installs the log, so a line written before install() is filtered the same way.
  static State s = [] {
    State st;
    st.filter = filter_from_env();
    st.logger = make_logger();
    return st;
  }();
  return s;
}

std::shared_ptr<spdlog::logger> make_logger() {
  auto sink = std::make_shared<spdlog::sinks::stderr_color_sink_mt>();
  auto logger = std::make_shared<spdlog::logger>("pelto", sink);
  // time, level, target, message and fields; the target is part of the payload.
  logger->set_pattern("%Y-%m-%dT%H:%M:%S.%fZ %^%5l%$ %v", spdlog::pattern_time_type::utc);
  logger->set_level(Level::trace);
  logger->flush_on(Level::trace);
  return logger;
}

}  // namespace

Field::Field(std::string_view k, std::string_view v) : key(k) {
  if (!needs_quotes(v)) {
    value = std::string(v);
    return;
  }
  std::string q = "\"";
  for (char c : v) {
    if (c == '"' || c == '\\') q += '\\';
    if (c == '\n') {
      q += "\\n";
      continue;
    }
    q += c;
  }
  q += '"';
  value = std::move(q);
}

Level Filter::level_for(std::string_view target) const {
  // The longest configured target that is the target or a "::"-separated prefix of it.
  Level best = default_level;
  size_t best_len = 0;
  for (const auto& [name, level] : targets) {
    if (target == name || (target.starts_with(name) && target.substr(name.size()).starts_with("::"))) {
      if (name.size() >= best_len) {
        best = level;
        best_len = name.size();
      }
    }
  }
  return best;
}

std::optional<Filter> parse_filter(std::string_view directives) {
  Filter f;
  bool any = false;
  while (!directives.empty()) {
    size_t comma = directives.find(',');
    std::string_view part = trim(directives.substr(0, comma));
    directives = comma == std::string_view::npos ? std::string_view{} : directives.substr(comma + 1);
    if (part.empty()) continue;
    size_t eq = part.find('=');
    if (eq == std::string_view::npos) {
      auto level = parse_level(part);
      if (!level) return std::nullopt;
      f.default_level = *level;
    } else {
      std::string_view target = trim(part.substr(0, eq));
      auto level = parse_level(trim(part.substr(eq + 1)));
      if (target.empty() || !level) return std::nullopt;
      f.targets[std::string(target)] = *level;
    }
    any = true;
  }
  if (!any) return std::nullopt;
  return f;
}

Filter filter_from_env() {
  const char* env = std::getenv("SPDLOG_LEVEL");
  if (env == nullptr) return Filter{};
  return parse_filter(env).value_or(Filter{});
}

void install() { (void)state(); }

void set_filter(Filter filter) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  s.filter = std::move(filter);
}

bool enabled(Level level, std::string_view target) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  return level != Level::off && level >= s.filter.level_for(target);
}

std::string render(std::string_view message, std::initializer_list<Field> fields) {
  std::string line(message);
  for (const auto& f : fields) {
    if (!f.value) continue;
    line += ' ';
    line += f.key;
    line += '=';
    line += *f.value;
  }
  return line;
}

void write(Level level, std::string_view target, std::string_view message,
           std::initializer_list<Field> fields) {
  if (!enabled(level, target)) return;
  std::shared_ptr<spdlog::logger> logger;
  {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    logger = s.logger;
  }
  logger->log(level, "{}: {}", target, render(message, fields));
}

}  // namespace pelto::log
