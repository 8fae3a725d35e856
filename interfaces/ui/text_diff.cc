#include "interfaces/ui/text_diff.h"

#include <algorithm>
#include <cstdint>

#include "interfaces/base/utf8.h"

namespace pelto::ui::doc {
namespace {

bool continuation(char c) { return (static_cast<uint8_t>(c) & 0xC0) == 0x80; }

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
  splice.at = utf8::length(before.substr(0, prefix));
  splice.remove = utf8::length(before.substr(prefix, before.size() - prefix - suffix));
  splice.insert_begin = prefix;
  splice.insert_end = after.size() - suffix;
  return splice;
}

Result<void> splice_text_diffed(crdt::Document& doc, const crdt::ObjId& text, std::string_view new_text) {
  if (doc.object_type(text) != crdt::ObjType::Text) {
    return failf("{} is not a text object of the document", text.to_string());
  }
  if (!utf8::is_valid(new_text)) return fail("the new text is not valid UTF-8");
  std::string current = doc.text(text);
  TextSplice splice = diff_texts(current, new_text);
  if (splice.empty()) return {};
  return with_context(
      doc.splice_text(text, splice.at, splice.remove,
                      new_text.substr(splice.insert_begin, splice.insert_end - splice.insert_begin)),
      "splice the changed characters");
}

}  // namespace pelto::ui::doc
