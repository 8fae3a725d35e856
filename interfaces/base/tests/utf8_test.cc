#include "interfaces/base/utf8.h"

#include <gtest/gtest.h>

namespace pelto::utf8 {
namespace {

TEST(Utf8, CountsScalarValuesNotBytes) {
  EXPECT_EQ(length("héllo"), 5u);
  EXPECT_EQ(length("日本語😀"), 4u);
  EXPECT_EQ(byte_offset("日本語😀", 3), 9u);
  EXPECT_EQ(byte_offset("ab", 7), 2u);
  EXPECT_EQ(encode(decode("a日😀")), "a日😀");
}

TEST(Utf8, InvalidBytesBecomeReplacementsAndAreReported) {
  struct Case {
    std::string text;
    bool valid;
  } cases[] = {{"plain", true}, {"\xEF\xBF\xBD", true}, {"\xC3", false}, {"\xC0\xAF", false},
               {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false}, {"a\xFF" "b", false}};
  for (const auto& c : cases) EXPECT_EQ(is_valid(c.text), c.valid) << c.text;
  EXPECT_EQ(decode("a\xFF" "b"), std::u32string(U"a\uFFFDb"));
}

TEST(Utf8, LowerCaseAndTrimAreUnicodeAware) {
  EXPECT_EQ(to_lower("VESK: Turn"), "vesk: turn");
  EXPECT_EQ(to_lower("ÄÖÜ ΣΑΣ ДОМ"), "äöü σασ дом");
  EXPECT_EQ(trim("\u3000 \t Vesk:\u00A0"), "Vesk:");
  EXPECT_EQ(trim(" \u2003 "), "");
}

}  // namespace
}  // namespace pelto::utf8
