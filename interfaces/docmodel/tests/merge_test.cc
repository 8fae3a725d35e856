// Replicas that edit concurrently converge to the same snapshot.
#include <gtest/gtest.h>

#include "interfaces/docmodel/history.h"
#include "interfaces/docmodel/tests/fixture.h"

namespace pelto::model {
namespace {

TEST(Merge, ConcurrentInsertAndNeighbourEditConverge) {
  testing::Fresh base("alice");
  auto a = base.para("first");
  auto b = base.para("second", a);
  ASSERT_TRUE(history::commit_stamped(base.doc));

  auto left_doc = base.doc.fork(crdt::ActorId::from_string("left"));
  auto right_doc = base.doc.fork(crdt::ActorId::from_string("right"));
  auto left_model = *open(left_doc);
  auto right_model = *open(right_doc);
  auto left_ids = seeded_id_gen(left_doc, left_model);
  auto right_ids = seeded_id_gen(right_doc, right_model);
  DocMut left(left_doc, left_model, left_ids);
  DocMut right(right_doc, right_model, right_ids);

  // Left inserts a block between the two; right edits the neighbour and marks it.
  auto inserted = left.insert_block(std::string_view(a), "paragraph");
  ASSERT_TRUE(inserted);
  ASSERT_TRUE(left.splice_text(*inserted, 0, 0, "middle"));
  ASSERT_TRUE(right.splice_text(b, 6, 0, " and last"));
  ASSERT_TRUE(right.set_mark_in(Region::Body, b, 0, 6, "bold", true));
  ASSERT_TRUE(right.set_attr_in(Region::Body, a, "align", std::string("center")));
  ASSERT_TRUE(history::commit_stamped(left_doc));
  ASSERT_TRUE(history::commit_stamped(right_doc));

  ASSERT_TRUE(left_doc.merge(right_doc));
  ASSERT_TRUE(right_doc.merge(left_doc));
  auto ls = materialize(left_doc, *open(left_doc));
  auto rs = materialize(right_doc, *open(right_doc));
  EXPECT_EQ(ls, rs);
  ASSERT_EQ(ls.body().blocks.size(), 3u);
  EXPECT_EQ(ls.body().blocks[0].attr_str("align"), "center");
  EXPECT_EQ(ls.body().blocks[1].text, "middle");
  EXPECT_EQ(ls.body().blocks[2].text, "second and last");
  EXPECT_EQ(ls.body().blocks[2].marks, (std::vector<MarkSpan>{{0, 6, "bold", MarkValue::Bool(true)}}));
}

TEST(Merge, ConcurrentTombstoneAndEditKeepTheTombstone) {
  testing::Fresh base("alice");
  auto a = base.para("doomed");
  ASSERT_TRUE(history::commit_stamped(base.doc));
  auto other = base.doc.fork(crdt::ActorId::from_string("bob"));
  auto other_model = *open(other);
  auto other_ids = seeded_id_gen(other, other_model);
  DocMut bob(other, other_model, other_ids);
  ASSERT_TRUE(base.mut.tombstone_block(a));
  ASSERT_TRUE(bob.splice_text(a, 6, 0, "!"));
  ASSERT_TRUE(base.doc.merge(other));
  EXPECT_TRUE(blocks_in_order(base.doc, *open(base.doc)).empty());
}

TEST(Merge, DocumentsCreatedApartShareTheirGenesis) {
  testing::Fresh one("one");
  testing::Fresh two("two");
  one.para("from one");
  two.para("from two");
  ASSERT_TRUE(one.doc.merge(two.doc));
  auto m = *open(one.doc);
  EXPECT_EQ(materialize_region(one.doc, m, Region::Body).blocks.size(), 2u)
      << "both replicas' blocks are visible: the root objects are the same";
}

}  // namespace
}  // namespace pelto::model
