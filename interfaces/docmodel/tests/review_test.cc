// Comments with replies, and tracked insertions and deletions with their accept and reject.
#include <algorithm>

#include <gtest/gtest.h>

#include "interfaces/docmodel/tests/fixture.h"

namespace pelto::model {
namespace {

using testing::Fresh;

TEST(Comments, AnchoredWithOwnBlocksAndReplies) {
  Fresh f;
  auto a = f.para("The quick brown fox");
  auto c = f.mut.insert_comment("Ana", "2026-12-01");
  ASSERT_TRUE(c);
  auto cb = f.mut.insert_comment_block(*c, std::nullopt, "paragraph");
  ASSERT_TRUE(cb);
  ASSERT_TRUE(f.mut.splice_comment_text(*c, *cb, 0, 0, "Which fox?"));
  auto cb2 = f.mut.insert_comment_block(*c, std::string_view(*cb), "paragraph");
  ASSERT_TRUE(f.mut.splice_comment_text(*c, *cb2, 0, 0, "Be specific."));
  ASSERT_TRUE(f.mut.add_comment_mark(a, 4, 9, *c));
  auto r1 = f.mut.add_comment_reply(*c, "Ben", "2026-12-02", "The brown one.");
  auto r2 = f.mut.add_comment_reply(*c, "Ana", "2026-12-03", "Thanks");
  ASSERT_TRUE(r1 && r2);

  EXPECT_EQ(comment_range(f.doc, f.model, *c), (Range{a, 4, 9}));
  EXPECT_EQ(comment_reply_ids(f.doc, f.model, *c), (std::vector<std::string>{*r1, *r2}));
  auto s = f.snap();
  ASSERT_EQ(s.comments.size(), 1u);
  const auto& com = s.comments[0];
  EXPECT_EQ(com.author, "Ana");
  EXPECT_EQ(com.text(), "Which fox?\nBe specific.");
  ASSERT_EQ(com.replies.size(), 2u);
  EXPECT_EQ(com.replies[0].author, "Ben");
  EXPECT_EQ(com.replies[0].text, "The brown one.");
  EXPECT_TRUE(s.body().blocks.size() == 1) << "comment blocks are not body blocks";

  // The anchor moves with the text.
  ASSERT_TRUE(f.mut.splice_text(a, 0, 0, "See: "));
  EXPECT_EQ(comment_range(f.doc, f.model, *c), (Range{a, 9, 14}));

  ASSERT_TRUE(f.mut.remove_comment_reply(*c, *r1));
  EXPECT_EQ(comment_reply_ids(f.doc, f.model, *c), std::vector<std::string>{*r2});

  // Resolving: tombstone first, then clear the anchor and the replies the comment still lists.
  ASSERT_TRUE(f.mut.tombstone_comment(*c));
  EXPECT_TRUE(f.snap().comments.empty());
  auto range = comment_range(f.doc, f.model, *c);
  ASSERT_EQ(range, (Range{a, 9, 14}));
  ASSERT_TRUE(f.mut.remove_mark(a, range->start, range->end, mark::comment));
  EXPECT_EQ(comment_range(f.doc, f.model, *c), std::nullopt);
  for (const auto& r : comment_reply_ids(f.doc, f.model, *c)) ASSERT_TRUE(f.mut.remove_comment_reply(*c, r));
  EXPECT_TRUE(comment_reply_ids(f.doc, f.model, *c).empty());
  EXPECT_TRUE(f.snap().body().blocks[0].marks.empty());
  EXPECT_FALSE(f.mut.add_comment_reply(*c, "Ben", "", "too late"));
  EXPECT_FALSE(f.mut.insert_comment_block("nope", std::nullopt, "paragraph"));
  EXPECT_FALSE(f.mut.add_comment_mark(a, 0, 99, *c));
}

struct ReviewCase {
  const char* name;
  bool insertion;
  bool accept;
  const char* text_after;
};

class Review : public ::testing::TestWithParam<ReviewCase> {};

TEST_P(Review, AcceptAndRejectChangeTheText) {
  const auto& p = GetParam();
  Fresh f;
  auto a = f.para("one three");
  Result<std::string> id = p.insertion ? f.mut.insert_tracked(a, 4, "two ", "Ana", "2026-12-01")
                                       : f.mut.delete_tracked(a, 3, 9, "Ana", "2026-12-01");
  ASSERT_TRUE(id) << id.error().display();
  EXPECT_EQ(change_ids(f.doc, f.model), std::vector<std::string>{*id});
  EXPECT_EQ(change_range(f.doc, f.model, *id), p.insertion ? (Range{a, 4, 8}) : (Range{a, 3, 9}));
  auto snap = f.snap();
  ASSERT_EQ(snap.changes.size(), 1u);
  EXPECT_EQ(snap.changes[0].kind, p.insertion ? ChangeKind::Insertion : ChangeKind::Deletion);
  EXPECT_EQ(snap.changes[0].author, "Ana");

  ASSERT_TRUE(p.accept ? f.mut.accept_change(*id) : f.mut.reject_change(*id));
  EXPECT_EQ(block_text(f.doc, f.model, a), p.text_after);
  EXPECT_TRUE(change_ids(f.doc, f.model).empty());
  EXPECT_TRUE(f.snap().body().blocks[0].marks.empty()) << "no change mark is left behind";
  EXPECT_FALSE(f.mut.accept_change(*id)) << "a resolved change cannot be resolved again";
}

INSTANTIATE_TEST_SUITE_P(Changes, Review,
                         ::testing::Values(ReviewCase{"accept_insertion", true, true, "one two three"},
                                           ReviewCase{"reject_insertion", true, false, "one three"},
                                           ReviewCase{"accept_deletion", false, true, "one"},
                                           ReviewCase{"reject_deletion", false, false, "one three"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Review, AcceptAllInDocumentOrder) {
  Fresh f;
  auto a = f.para("alpha gamma");
  auto b = f.para("delta zeta", a);
  auto first = f.para("start", std::nullopt);
  // Made out of document order, so their ids sort differently from their blocks.
  auto c1 = f.mut.insert_tracked(b, 6, "epsilon ", "Ana", "d");
  auto c2 = f.mut.delete_tracked(a, 5, 11, "Ben", "d");
  auto c3 = f.mut.insert_tracked(first, 5, "!", "Ana", "d");
  auto c4 = f.mut.insert_tracked(a, 0, "the ", "Ana", "d");
  ASSERT_TRUE(c1 && c2 && c3 && c4);

  auto ids = change_ids(f.doc, f.model);
  ASSERT_EQ(ids.size(), 4u);
  auto order = blocks_in_order(f.doc, f.model);
  auto position = [&](const std::string& id) {
    auto r = change_range(f.doc, f.model, id);
    auto at = std::find(order.begin(), order.end(), r->block) - order.begin();
    return std::pair{at, r->start};
  };
  std::stable_sort(ids.begin(), ids.end(), [&](auto& x, auto& y) { return position(x) < position(y); });
  EXPECT_EQ(ids, (std::vector<std::string>{*c3, *c4, *c2, *c1}));
  for (const auto& id : ids) ASSERT_TRUE(f.mut.accept_change(id)) << id;

  auto s = f.snap();
  std::vector<std::string> texts;
  for (const auto& blk : s.body().blocks) texts.push_back(blk.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"start!", "the alpha", "delta epsilon zeta"}));
  EXPECT_TRUE(s.changes.empty());
}

TEST(Review, TextTypedIntoAnInsertionBeforeRejectStays) {
  Fresh f;
  auto a = f.para("ab");
  auto id = f.mut.insert_tracked(a, 1, "XYZ", "Ana", "d");
  ASSERT_TRUE(id);
  ASSERT_TRUE(f.mut.splice_text(a, 4, 0, "c"));  // at its end: not part of it
  ASSERT_TRUE(f.mut.reject_change(*id));
  EXPECT_EQ(block_text(f.doc, f.model, a), "acb");
}

}  // namespace
}  // namespace pelto::model
