#include "interfaces/base/utf8.h"

#include <locale.h>
#include <wctype.h>

namespace pelto::utf8 {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one scalar at text[i], advancing i; invalid input yields U+FFFD and advances one byte.
char32_t next(std::string_view text, size_t& i) {
  auto b = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char c = b(i);
  if (c < 0x80) {
    ++i;
    return c;
  }
  size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
  if (len == 0 || c > 0xF4 || i + len > text.size()) {
    ++i;
    return kReplacement;
  }
  char32_t cp = c & (0x7F >> len);
  for (size_t k = 1; k < len; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
  if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += len;
  return cp;
}

locale_t utf8_locale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return loc;
}

}  // namespace

std::u32string decode(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) out.push_back(next(text, i));
  return out;
}

void append(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string encode(std::u32string_view chars) {
  std::string out;
  out.reserve(chars.size());
  for (char32_t c : chars) append(out, c);
  return out;
}

size_t length(std::string_view text) {
  size_t n = 0;
  for (size_t i = 0; i < text.size(); ++n) next(text, i);
  return n;
}

size_t byte_offset(std::string_view text, size_t index) {
  size_t i = 0;
  for (size_t n = 0; n < index && i < text.size(); ++n) next(text, i);
  return i;
}

bool is_valid(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    size_t before = i;
    if (next(text, i) == kReplacement) {
      // U+FFFD itself is three bytes; a replacement for bad input consumed one.
      if (i - before != 3) return false;
    }
  }
  return true;
}

bool is_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

std::string to_lower(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  locale_t loc = utf8_locale();
  for (size_t i = 0; i < text.size();) {
    char32_t c = next(text, i);
    if (c < 0x80) {
      out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
      continue;
    }
    if (c == 0x130) {  // İ lower-cases to i followed by a combining dot above
      append(out, U'i');
      append(out, 0x307);
      continue;
    }
    append(out, loc ? static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc)) : c);
  }
  return out;
}

std::string_view trim(std::string_view text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t i = start;
    if (!is_space(next(text, i))) break;
    start = i;
  }
  size_t end = start;
  for (size_t i = start; i < text.size();) {
    if (!is_space(next(text, i))) end = i;
  }
  return text.substr(start, end - start);
}

}  // namespace pelto::utf8
