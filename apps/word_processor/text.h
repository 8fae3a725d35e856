#pragma once
// Character-level cutting of UTF-8 texts on top of interfaces/base/utf8.h: the word processor
// counts characters (Unicode scalar values), never bytes.
#include <cstddef>
#include <string>
#include <string_view>

#include "interfaces/base/utf8.h"

namespace pelto::word_processor::text {

// Whether the text has at most `limit` characters; stops counting once past it.
bool at_most_chars(std::string_view s, size_t limit);
// Characters [start, end) (clamped to the text).
std::string_view char_slice(std::string_view s, size_t start, size_t end);
// Characters from `start` to the end.
std::string_view char_suffix(std::string_view s, size_t start);
// The pieces between runs of white space, joined by single blanks.
std::string squash_spaces(std::string_view s);
// The first `n` characters.
std::string_view char_prefix(std::string_view s, size_t n);

}  // namespace pelto::word_processor::text
