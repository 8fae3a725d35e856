#include "interfaces/ui/text_diff.h"

#include <gtest/gtest.h>

namespace pelto::ui::doc {
namespace {

using crdt::Document;
using crdt::ObjId;
using crdt::ObjType;

struct DiffCase {
  std::string before;
  std::string after;
  size_t at;
  size_t remove;
  std::string inserted;
};

TEST(TextDiffTest, OneSpliceBetweenSharedPrefixAndSuffixCountedInCharacters) {
  const DiffCase cases[] = {
      {"", "", 0, 0, ""},
      {"same", "same", 4, 0, ""},
      {"", "new", 0, 0, "new"},
      {"old", "", 0, 3, ""},
      {"world", "hello world", 0, 0, "hello "},
      {"hello", "hello world", 5, 0, " world"},
      {"hello world", "world", 0, 6, ""},
      {"hello world", "hello", 5, 6, ""},
      {"the cat sat", "the dog sat", 4, 3, "dog"},
      {"aaa", "aa", 2, 1, ""},
      {"aa", "aaa", 2, 0, "a"},
      // Characters that share leading bytes: é is C3 A9, è is C3 A8.
      {"café au lait", "cafè au lait", 3, 1, "è"},
      // Characters that share trailing bytes: Ä is C3 84, Ą is C4 84.
      {"Äx", "Ąx", 0, 1, "Ą"},
      {"x😀y", "x😁y", 1, 1, "😁"},
      {"日本語のテキスト", "日本語テキスト", 3, 1, ""},
      {"ääää", "ääöää", 2, 0, "ö"},
      {"🎉 done", "done", 0, 2, ""},
      {"done", "done 🎉", 4, 0, " 🎉"},
  };
  for (const auto& c : cases) {
    TextSplice s = diff_texts(c.before, c.after);
    EXPECT_EQ(s.at, c.at) << c.before << " -> " << c.after;
    EXPECT_EQ(s.remove, c.remove) << c.before << " -> " << c.after;
    EXPECT_EQ(c.after.substr(s.insert_begin, s.insert_end - s.insert_begin), c.inserted)
        << c.before << " -> " << c.after;
  }
}

class SpliceTextDiffedTest : public ::testing::Test {
 protected:
  SpliceTextDiffedTest() : doc(crdt::ActorId::from_string("alice")) {
    text = *doc.put_object(ObjId::root(), "text", ObjType::Text);
    EXPECT_TRUE(doc.splice_text(text, 0, 0, "Grüße aus Köln"));
    doc.commit();
  }
  Document doc;
  ObjId text;
};

TEST_F(SpliceTextDiffedTest, EqualTextWritesNothing) {
  ASSERT_TRUE(splice_text_diffed(doc, text, "Grüße aus Köln"));
  EXPECT_EQ(doc.pending_ops(), 0u);
  EXPECT_EQ(doc.commit(), std::nullopt);
}

TEST_F(SpliceTextDiffedTest, EditsAtBothEndsAndInTheMiddle) {
  const char* steps[] = {"» Grüße aus Köln", "» Grüße aus Köln «", "Grüße aus Köln «",
                         "Grüße aus Köln",   "Grüße aus Düsseldorf", "Grüße", "", "neu"};
  for (const char* next : steps) {
    ASSERT_TRUE(splice_text_diffed(doc, text, next)) << next;
    EXPECT_GT(doc.pending_ops(), 0u) << next;
    EXPECT_EQ(doc.text(text), next);
    doc.commit();
  }
}

TEST_F(SpliceTextDiffedTest, MarksOutsideTheChangedStretchStay) {
  ASSERT_TRUE(doc.mark(text, 10, 14, "bold", true, crdt::Expand::None));  // "Köln"
  doc.commit();
  ASSERT_TRUE(splice_text_diffed(doc, text, "Liebe Grüße aus Köln"));
  auto marks = doc.marks(text);
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_EQ(marks[0].start, 16u);
  EXPECT_EQ(marks[0].end, 20u);
}

// A whole-text rewrite would wipe out what another replica typed meanwhile; one splice keeps it.
TEST_F(SpliceTextDiffedTest, ConcurrentEditElsewhereSurvivesTheMerge) {
  Document bob = doc.fork(crdt::ActorId::from_string("bob"));
  ASSERT_TRUE(bob.splice_text(text, 0, 0, "Viele "));
  bob.commit();
  ASSERT_TRUE(splice_text_diffed(doc, text, "Grüße aus Bonn"));
  doc.commit();
  ASSERT_TRUE(doc.merge(bob));
  ASSERT_TRUE(bob.merge(doc));
  EXPECT_EQ(doc.text(text), "Viele Grüße aus Bonn");
  EXPECT_EQ(bob.text(text), "Viele Grüße aus Bonn");
}

TEST_F(SpliceTextDiffedTest, RefusesWithoutWritingWhenTargetOrTextIsBad) {
  EXPECT_FALSE(splice_text_diffed(doc, text, "Grüße aus K\xC3"));
  EXPECT_FALSE(splice_text_diffed(doc, text, "\xED\xA0\x80 surrogate"));
  EXPECT_FALSE(splice_text_diffed(doc, text, "\xC0\xAF overlong"));
  EXPECT_FALSE(splice_text_diffed(doc, ObjId::root(), "x"));
  ObjId list = *doc.put_object(ObjId::root(), "list", ObjType::List);
  doc.commit();
  EXPECT_FALSE(splice_text_diffed(doc, list, "x"));
  EXPECT_EQ(doc.pending_ops(), 0u);
  EXPECT_EQ(doc.text(text), "Grüße aus Köln");
}

}  // namespace
}  // namespace pelto::ui::doc
