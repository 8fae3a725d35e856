#include "interfaces/ui/i18n.h"

#include <algorithm>
#include <cctype>

namespace pelto::ui {
namespace {

constexpr size_t max_key_bytes = 128;
constexpr size_t max_shown_line_bytes = 80;

std::string_view trim(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool valid_key(std::string_view key) {
  if (key.empty() || key.size() > max_key_bytes) return false;
  for (unsigned char c : key) {
    if (!std::isalnum(c) && c != '-' && c != '_' && c != '.') return false;
  }
  return true;
}

bool valid_locale(std::string_view locale) {
  if (locale.empty() || locale.size() > 64) return false;
  bool part_open = false;
  for (unsigned char c : locale) {
    if (std::isalnum(c)) {
      part_open = true;
    } else if ((c == '-' || c == '_') && part_open) {
      part_open = false;
    } else {
      return false;
    }
  }
  return part_open;
}

// The line as an error shows it: cut, so that a huge line does not flood the log.
std::string shown(std::string_view line) {
  if (line.size() <= max_shown_line_bytes) return std::string(line);
  size_t cut = max_shown_line_bytes;
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
  return std::string(line.substr(0, cut)) + "…";
}

}  // namespace

Result<void> I18nManager::init(std::string_view locale) {
  if (!valid_locale(locale)) return failf("\"{}\" is not a locale", shown(locale));
  locale_ = locale;
  table_.clear();
  return {};
}

Result<size_t> I18nManager::add_resource(std::string_view text) {
  if (locale_.empty()) return fail("the string table has no locale yet");
  std::map<std::string, std::string, std::less<>> entries;
  size_t number = 0;
  for (size_t pos = 0; pos < text.size();) {
    ++number;
    size_t end = std::min(text.find('\n', pos), text.size());
    std::string_view line = trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      return failf("line {} is not \"key = value\": {}", number, shown(line));
    }
    std::string_view key = trim(line.substr(0, eq));
    std::string_view value = trim(line.substr(eq + 1));
    if (!valid_key(key)) return failf("line {} has no valid key: {}", number, shown(line));
    if (!entries.emplace(std::string(key), std::string(value)).second) {
      return failf("line {} repeats the key \"{}\"", number, key);
    }
  }
  size_t count = entries.size();
  for (auto& [key, value] : entries) table_.insert_or_assign(key, std::move(value));
  return count;
}

std::optional<std::string_view> I18nManager::lookup(std::string_view key) const {
  auto it = table_.find(key);
  if (it == table_.end()) return std::nullopt;
  return std::string_view(it->second);
}

}  // namespace pelto::ui
