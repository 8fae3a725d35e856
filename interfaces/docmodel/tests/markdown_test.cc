// Markdown import: every block construct and inline mark the codec knows.
#include <gtest/gtest.h>

#include "interfaces/docmodel/markdown.h"
#include "interfaces/docmodel/tests/fixture.h"

namespace pelto::model {
namespace {

constexpr std::string_view kSample = R"(# Title with *style*

A paragraph with **strong**, *emphasis*, `code` and a [link](https://example.org/x).
It goes on after a soft break.  
And after a hard one.

## Second level

- first bullet
- second bullet
  - nested bullet

1. one
2. two

> Quoted wisdom.

```cpp
int main() {}
```

---

Last paragraph.
)";

struct Want {
  const char* kind;
  const char* text;
};

TEST(Markdown, ImportsEveryConstruct) {
  testing::Fresh f;
  auto existing = f.para("kept before the import");
  auto n = FormatProvider::import(kSample, f.mut);
  ASSERT_TRUE(n) << n.error().display();
  auto s = f.snap();
  const auto& blocks = s.body().blocks;
  const std::vector<Want> want = {
      {"paragraph", "kept before the import"},
      {"heading", "Title with style"},
      {"paragraph",
       "A paragraph with strong, emphasis, code and a link. It goes on after a soft break.\nAnd after a hard one."},
      {"heading", "Second level"},
      {"list_item", "first bullet"},
      {"list_item", "second bullet"},
      {"list_item", "nested bullet"},
      {"list_item", "one"},
      {"list_item", "two"},
      {"quote", "Quoted wisdom."},
      {"code", "int main() {}"},
      {"rule", ""},
      {"paragraph", "Last paragraph."},
  };
  ASSERT_EQ(blocks.size(), want.size());
  EXPECT_EQ(*n, want.size() - 1);
  EXPECT_EQ(blocks[0].id, existing);
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(blocks[i].kind, want[i].kind) << i;
    EXPECT_EQ(blocks[i].text, want[i].text) << i;
  }
  EXPECT_EQ(blocks[1].attr_int("level"), 1);
  EXPECT_EQ(blocks[3].attr_int("level"), 2);
  EXPECT_EQ(blocks[1].marks, (std::vector<MarkSpan>{{11, 16, "italic", MarkValue::Bool(true)}}));
  EXPECT_EQ(blocks[2].marks, (std::vector<MarkSpan>{{17, 23, "bold", MarkValue::Bool(true)},
                                                    {25, 33, "italic", MarkValue::Bool(true)},
                                                    {35, 39, "code", MarkValue::Bool(true)},
                                                    {46, 50, "link", MarkValue::Str("https://example.org/x")}}));
  EXPECT_EQ(blocks[4].attr_bool("ordered"), std::nullopt);
  EXPECT_EQ(blocks[6].attr_int("level"), 1) << "nested list item";
  EXPECT_EQ(blocks[7].attr_bool("ordered"), true);
  EXPECT_EQ(blocks[10].attr_str("info"), "cpp");
}

TEST(Markdown, EmptyInputWritesNothingAndStagingIsFlushed) {
  testing::Fresh f;
  size_t before = f.doc.pending_ops();
  auto n = FormatProvider::import("", f.mut);
  ASSERT_TRUE(n);
  EXPECT_EQ(*n, 0u);
  EXPECT_EQ(f.doc.pending_ops(), before);

  f.ids.set_staging(true);
  ASSERT_TRUE(FormatProvider::import("**all bold**", f.mut));
  EXPECT_EQ(f.mut.staged_count(), 0u);
  EXPECT_EQ(f.snap().body().blocks.at(0).marks, (std::vector<MarkSpan>{{0, 8, "bold", MarkValue::Bool(true)}}));
}

}  // namespace
}  // namespace pelto::model
