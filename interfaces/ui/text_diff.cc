#include "interfaces/ui/text_diff.h"

#include <algorithm>
#include <cstdint>

namespace pelto::ui::doc {
namespace {

bool continuation(char c) { return (static_cast<uint8_t>(c) & 0xC0) == 0x80; }

size_t count_chars(std::string_view s) {
  return static_cast<size_t>(std::ranges::count_if(s, [](char c) { return !continuation(c); }));
}

// Strict UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
bool valid_utf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    auto b0 = static_cast<uint8_t>(s[i]);
    if (b0 < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    uint32_t cp;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      len = 2, cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      len = 3, cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      len = 4, cp = b0 & 0x07;
    } else {
      return false;
    }
    if (s.size() - i < len) return false;
    for (size_t k = 1; k < len; ++k) {
      if (!continuation(s[i + k])) return false;
      cp = (cp << 6) | (static_cast<uint8_t>(s[i + k]) & 0x3F);
    }
    if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
      return false;
    }
    i += len;
  }
  return true;
}

}  // namespace

TextSplice diff_texts(std::string_view before, std::string_view after) {
  // Shared bytes at the start, backed off to a character boundary. In valid UTF-8 a boundary of one
  // text inside the shared bytes is a boundary of the other too.
  size_t limit = std::min(before.size(), after.size());
  size_t prefix = 0;
  while (prefix < limit && before[prefix] == after[prefix]) ++prefix;
  while (prefix > 0 && ((prefix < before.size() && continuation(before[prefix])) ||
                        (prefix < after.size() && continuation(after[prefix])))) {
    --prefix;
  }
  // Shared bytes at the end, not reaching into the prefix, moved forward to a boundary.
  size_t suffix = 0;
  limit -= prefix;
  while (suffix < limit && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  while (suffix > 0 && continuation(before[before.size() - suffix])) --suffix;

  TextSplice splice;
  splice.at = count_chars(before.substr(0, prefix));
  splice.remove = count_chars(before.substr(prefix, before.size() - prefix - suffix));
  splice.insert_begin = prefix;
  splice.insert_end = after.size() - suffix;
  return splice;
}

Result<void> splice_text_diffed(crdt::Document& doc, const crdt::ObjId& text, std::string_view new_text) {
  if (doc.object_type(text) != crdt::ObjType::Text) {
    return failf("{} is not a text object of the document", text.to_string());
  }
  if (!valid_utf8(new_text)) return fail("the new text is not valid UTF-8");
  std::string current = doc.text(text);
  TextSplice splice = diff_texts(current, new_text);
  if (splice.empty()) return {};
  return with_context(
      doc.splice_text(text, splice.at, splice.remove,
                      new_text.substr(splice.insert_begin, splice.insert_end - splice.insert_begin)),
      "splice the changed characters");
}

}  // namespace pelto::ui::doc
