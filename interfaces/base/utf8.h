#pragma once
// UTF-8 text by Unicode scalar values: decoding, counting, lower-casing and trimming white space.
// Invalid sequences decode as U+FFFD, one per offending byte, so nothing here ever fails.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelto::utf8 {

std::u32string decode(std::string_view text);
std::string encode(std::u32string_view chars);
void append(std::string& out, char32_t c);
// Characters (scalar values) in the text.
size_t length(std::string_view text);
// Byte offset of character `index` (the text's size when index is at or past the end).
size_t byte_offset(std::string_view text, size_t index);
bool is_valid(std::string_view text);

bool is_space(char32_t c);  // Unicode White_Space
// Lower-cased by the Unicode case tables of the C.UTF-8 locale.
std::string to_lower(std::string_view text);
std::string_view trim(std::string_view text);  // Unicode white space at both ends

}  // namespace pelto::utf8
