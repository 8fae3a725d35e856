#include "apps/word_processor/text.h"

namespace pelto::word_processor::text {
namespace {

bool continues(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

bool at_most_chars(std::string_view s, size_t limit) {
  if (s.size() <= limit) return true;
  size_t n = 0;
  for (char c : s) {
    n += !continues(c);
    if (n > limit) return false;
  }
  return true;
}

std::string_view char_slice(std::string_view s, size_t start, size_t end) {
  if (end <= start) return {};
  size_t from = utf8::byte_offset(s, start);
  std::string_view rest = s.substr(from);
  return rest.substr(0, utf8::byte_offset(rest, end - start));
}

std::string_view char_suffix(std::string_view s, size_t start) { return s.substr(utf8::byte_offset(s, start)); }

std::string_view char_prefix(std::string_view s, size_t n) { return s.substr(0, utf8::byte_offset(s, n)); }

std::string squash_spaces(std::string_view s) {
  std::string out;
  bool gap = false;
  for (char32_t c : utf8::decode(s)) {
    if (utf8::is_space(c)) {
      gap = true;
      continue;
    }
    if (gap && !out.empty()) out += ' ';
    gap = false;
    utf8::append(out, c);
  }
  return out;
}

}  // namespace pelto::word_processor::text
