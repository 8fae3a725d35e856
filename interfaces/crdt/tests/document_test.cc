// Reads and writes of one document: maps, lists, texts (by characters), marks, the pending change.
#include <gtest/gtest.h>

#include "interfaces/crdt/document.h"

namespace pelto::crdt {
namespace {

ActorId actor(std::string_view name) { return ActorId::from_string(name); }

TEST(MapTest, PutGetDeleteAndKeys) {
  Document d(actor("a"));
  ASSERT_TRUE(d.put(ObjId::root(), "title", std::string("hello")));
  ASSERT_TRUE(d.put(ObjId::root(), "n", int64_t{-3}));
  ASSERT_TRUE(d.put(ObjId::root(), "u", uint64_t{7}));
  ASSERT_TRUE(d.put(ObjId::root(), "f", 1.5));
  ASSERT_TRUE(d.put(ObjId::root(), "b", true));
  ASSERT_TRUE(d.put(ObjId::root(), "z", Null{}));
  ASSERT_TRUE(d.put(ObjId::root(), "raw", Bytes{1, 2, 3}));
  EXPECT_EQ(d.get(ObjId::root(), "title")->as_string(), "hello");
  EXPECT_EQ(d.get(ObjId::root(), "n")->as_int(), -3);
  EXPECT_EQ(d.get(ObjId::root(), "u")->as_int(), 7);
  EXPECT_EQ(d.get(ObjId::root(), "f")->as_f64(), 1.5);
  EXPECT_EQ(d.get(ObjId::root(), "b")->as_bool(), true);
  EXPECT_EQ(std::get<Bytes>(*d.get(ObjId::root(), "raw")->scalar()), (Bytes{1, 2, 3}));
  EXPECT_EQ(d.keys(ObjId::root()), (std::vector<std::string>{"b", "f", "n", "raw", "title", "u", "z"}));
  ASSERT_TRUE(d.delete_key(ObjId::root(), "title"));
  EXPECT_FALSE(d.get(ObjId::root(), "title"));
  ASSERT_TRUE(d.commit());
  EXPECT_EQ(d.keys(ObjId::root()).size(), 6u);
}

TEST(MapTest, NestedObjectsAndTypeErrors) {
  Document d(actor("a"));
  auto m = d.put_object(ObjId::root(), "meta", ObjType::Map);
  ASSERT_TRUE(m);
  ASSERT_TRUE(d.put(*m, "k", int64_t{1}));
  auto v = d.get(ObjId::root(), "meta");
  ASSERT_TRUE(v && v->is_object());
  EXPECT_EQ(*v->object(), *m);
  EXPECT_EQ(v->object_type, ObjType::Map);
  EXPECT_EQ(d.object_type(*m), ObjType::Map);
  EXPECT_FALSE(d.splice_text(*m, 0, 0, "x"));
  EXPECT_FALSE(d.insert(*m, 0, int64_t{1}));
  EXPECT_FALSE(d.put(ObjId{99, actor("nobody")}, "k", int64_t{1}));
}

TEST(ListTest, InsertPutDelete) {
  Document d(actor("a"));
  auto l = *d.put_object(ObjId::root(), "items", ObjType::List);
  for (int64_t i = 0; i < 5; ++i) ASSERT_TRUE(d.insert(l, static_cast<size_t>(i), i));
  ASSERT_TRUE(d.insert(l, 0, std::string("first")));
  EXPECT_EQ(d.length(l), 6u);
  EXPECT_EQ(d.get(l, 0)->as_string(), "first");
  ASSERT_TRUE(d.put(l, 1, std::string("zero")));
  EXPECT_EQ(d.get(l, 1)->as_string(), "zero");
  ASSERT_TRUE(d.delete_range(l, 2, 2));
  EXPECT_EQ(d.length(l), 4u);
  EXPECT_EQ(d.get(l, 2)->as_int(), 3);
  EXPECT_FALSE(d.get(l, 4));
  EXPECT_FALSE(d.insert(l, 9, int64_t{0}));
  EXPECT_FALSE(d.delete_range(l, 3, 2));
  auto inner = d.insert_object(l, 4, ObjType::Text);
  ASSERT_TRUE(inner);
  ASSERT_TRUE(d.splice_text(*inner, 0, 0, "in"));
  EXPECT_EQ(d.text(*inner), "in");
}

TEST(TextTest, SplicesCountCharactersNotBytes) {
  Document d(actor("a"));
  auto t = *d.put_object(ObjId::root(), "text", ObjType::Text);
  ASSERT_TRUE(d.splice_text(t, 0, 0, "héllo wörld 🎉!"));
  EXPECT_EQ(d.length(t), 14u);
  ASSERT_TRUE(d.splice_text(t, 1, 1, "ë"));
  ASSERT_TRUE(d.splice_text(t, 12, 1, "🚀🚀"));
  EXPECT_EQ(d.text(t), "hëllo wörld 🚀🚀!");
  EXPECT_EQ(d.get(t, 12)->as_string(), "🚀");
  EXPECT_FALSE(d.splice_text(t, 0, 0, "\xff"));
  EXPECT_FALSE(d.splice_text(t, 20, 0, "x"));
  EXPECT_EQ(d.text(t), "hëllo wörld 🚀🚀!");
}

TEST(TextTest, ManyEditsMatchAStringModel) {
  Document d(actor("a"));
  auto t = *d.put_object(ObjId::root(), "text", ObjType::Text);
  std::u32string model;
  uint32_t s = 12345;
  auto rnd = [&] { s ^= s << 13; s ^= s >> 17; s ^= s << 5; return s; };
  for (int i = 0; i < 3000; ++i) {
    size_t at = model.empty() ? 0 : rnd() % (model.size() + 1);
    size_t del = (rnd() % 4 == 0 && at < model.size()) ? rnd() % std::min<size_t>(5, model.size() - at) + 1 : 0;
    std::string ins = (rnd() % 3) ? std::string(1 + rnd() % 3, static_cast<char>('a' + rnd() % 26)) : "";
    ASSERT_TRUE(d.splice_text(t, at, del, ins));
    model.erase(at, del);
    model.insert(at, std::u32string(ins.begin(), ins.end()));
    if (i % 7 == 0) d.commit();
  }
  EXPECT_EQ(d.text(t), std::string(model.begin(), model.end()));
}

struct MarkCase {
  const char* name;
  Expand expand;
  size_t insert_at;
  bool inside;
};

void PrintTo(const MarkCase& c, std::ostream* os) { *os << c.name; }

class MarkExpandTest : public ::testing::TestWithParam<MarkCase> {};

TEST_P(MarkExpandTest, InsertAtEdgeFollowsExpand) {
  const auto& c = GetParam();
  Document d(actor("a"));
  auto t = *d.put_object(ObjId::root(), "text", ObjType::Text);
  ASSERT_TRUE(d.splice_text(t, 0, 0, "abcdef"));
  ASSERT_TRUE(d.mark(t, 2, 4, "bold", true, c.expand));  // "cd"
  ASSERT_TRUE(d.splice_text(t, c.insert_at, 0, "X"));
  auto m = d.marks(t);
  ASSERT_EQ(m.size(), 1u);
  size_t len = m[0].end - m[0].start;
  EXPECT_EQ(len, c.inside ? 3u : 2u);
}

INSTANTIATE_TEST_SUITE_P(Edges, MarkExpandTest,
                         ::testing::Values(MarkCase{"start_none", Expand::None, 2, false},
                                           MarkCase{"start_before", Expand::Before, 2, true},
                                           MarkCase{"start_after", Expand::After, 2, false},
                                           MarkCase{"start_both", Expand::Both, 2, true},
                                           MarkCase{"end_none", Expand::None, 4, false},
                                           MarkCase{"end_before", Expand::Before, 4, false},
                                           MarkCase{"end_after", Expand::After, 4, true},
                                           MarkCase{"end_both", Expand::Both, 4, true},
                                           MarkCase{"middle", Expand::None, 3, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MarkTest, OverlapsUnmarkAndDeletes) {
  Document d(actor("a"));
  auto t = *d.put_object(ObjId::root(), "text", ObjType::Text);
  ASSERT_TRUE(d.splice_text(t, 0, 0, "0123456789"));
  ASSERT_TRUE(d.mark(t, 1, 8, "bold", true, Expand::After));
  ASSERT_TRUE(d.mark(t, 3, 5, "link", std::string("u"), Expand::None));
  ASSERT_TRUE(d.unmark(t, 4, 6, "bold", Expand::None));
  auto m = d.marks(t);
  std::vector<MarkSpan> want{{1, 4, "bold", true}, {3, 5, "link", std::string("u")}, {6, 8, "bold", true}};
  EXPECT_EQ(m, want);
  ASSERT_TRUE(d.splice_text(t, 0, 2, ""));  // removes "01"
  want = {{0, 2, "bold", true}, {1, 3, "link", std::string("u")}, {4, 6, "bold", true}};
  EXPECT_EQ(d.marks(t), want);
  EXPECT_FALSE(d.mark(t, 5, 3, "bold", true, Expand::None));
  EXPECT_FALSE(d.mark(t, 0, 99, "bold", true, Expand::None));
}

TEST(PendingTest, RollbackDropsEveryWrite) {
  Document d(actor("a"));
  auto t = *d.put_object(ObjId::root(), "text", ObjType::Text);
  ASSERT_TRUE(d.splice_text(t, 0, 0, "keep"));
  ASSERT_TRUE(d.commit());
  ASSERT_TRUE(d.splice_text(t, 0, 4, "drop"));
  ASSERT_TRUE(d.put(ObjId::root(), "x", int64_t{1}));
  EXPECT_EQ(d.pending_ops(), 9u);  // 4 deletes, 4 characters, 1 put
  EXPECT_EQ(d.rollback(), 9u);
  EXPECT_EQ(d.pending_ops(), 0u);
  EXPECT_EQ(d.text(t), "keep");
  EXPECT_FALSE(d.get(ObjId::root(), "x"));
  EXPECT_EQ(d.change_count(), 1u);
  // New writes after a rollback make a valid change.
  ASSERT_TRUE(d.splice_text(t, 4, 0, "!"));
  ASSERT_TRUE(d.commit());
  auto loaded = Document::load(d.save());
  ASSERT_TRUE(loaded) << loaded.error().display();
  EXPECT_EQ(loaded->text(t), "keep!");
}

TEST(PendingTest, EmptyCommitMakesNothingAndMetadataIsKept) {
  Document d(actor("agent"));
  EXPECT_FALSE(d.commit());
  ASSERT_TRUE(d.put(ObjId::root(), "k", int64_t{1}));
  auto h = d.commit(CommitOptions{.message = "first", .time_ms = 1234});
  ASSERT_TRUE(h);
  EXPECT_FALSE(d.commit());
  auto meta = d.get_change_meta(*h);
  ASSERT_TRUE(meta);
  EXPECT_EQ(meta->message, "first");
  EXPECT_EQ(meta->time_ms, 1234);
  EXPECT_EQ(meta->seq, 1u);
  EXPECT_EQ(meta->actor, actor("agent"));
  EXPECT_EQ(d.heads(), std::vector<ChangeHash>{*h});
  ASSERT_TRUE(d.put(ObjId::root(), "k", int64_t{2}));
  auto h2 = *d.commit();
  auto meta2 = *d.get_change_meta(h2);
  EXPECT_EQ(meta2.deps, std::vector<ChangeHash>{*h});
  EXPECT_EQ(meta2.seq, 2u);
  EXPECT_EQ(d.changes().size(), 2u);
  EXPECT_EQ(d.changes()[0].hash, *h);
}

}  // namespace
}  // namespace pelto::crdt
