// Concurrency, history and sync between replicas: conflicts, sequence merges, marks across
// replicas, incremental exchange with waiting changes, merge, forks and save/load.
#include <gtest/gtest.h>

#include "interfaces/crdt/document.h"

namespace pelto::crdt {
namespace {

ActorId actor(std::string_view name) { return ActorId::from_string(name); }

// Two replicas that share a text "base" at "t".
struct Pair {
  Document a{actor("alice")};
  Document b{actor("bob")};
  ObjId t;
  Pair() {
    t = *a.put_object(ObjId::root(), "t", ObjType::Text);
    EXPECT_TRUE(a.splice_text(t, 0, 0, "base"));
    a.commit();
    EXPECT_TRUE(b.load_incremental(a.save()));
  }
  void sync() {
    ASSERT_TRUE(a.merge(b));
    ASSERT_TRUE(b.merge(a));
    ASSERT_EQ(a.heads(), b.heads());
    ASSERT_EQ(a.save(), b.save());
  }
};

TEST(ConflictTest, GreatestIdWinsAndOthersStayVisible) {
  Pair p;
  ASSERT_TRUE(p.a.put(ObjId::root(), "k", std::string("from a")));
  ASSERT_TRUE(p.b.put(ObjId::root(), "k", std::string("from b")));
  p.sync();
  auto all = p.a.get_all(ObjId::root(), "k");
  ASSERT_EQ(all.size(), 2u);
  // Same counter: the actor with the greater bytes wins ("bob" > "alice").
  EXPECT_EQ(all[0].as_string(), "from b");
  EXPECT_EQ(p.a.get(ObjId::root(), "k")->as_string(), "from b");
  EXPECT_EQ(p.b.get_all(ObjId::root(), "k")[1].as_string(), "from a");
  // A later write sees both and resolves the conflict.
  ASSERT_TRUE(p.a.put(ObjId::root(), "k", std::string("resolved")));
  p.sync();
  EXPECT_EQ(p.b.get_all(ObjId::root(), "k").size(), 1u);
}

TEST(ConflictTest, DeleteRemovesOnlyWhatItSaw) {
  Pair p;
  ASSERT_TRUE(p.a.put(ObjId::root(), "k", int64_t{1}));
  p.sync();
  ASSERT_TRUE(p.a.delete_key(ObjId::root(), "k"));
  ASSERT_TRUE(p.b.put(ObjId::root(), "k", int64_t{2}));
  p.sync();
  EXPECT_EQ(p.a.get(ObjId::root(), "k")->as_int(), 2);
  EXPECT_EQ(p.a.get_all(ObjId::root(), "k").size(), 1u);
}

TEST(ConflictTest, ListPutSurvivesConcurrentDelete) {
  Pair p;
  auto l = *p.a.put_object(ObjId::root(), "l", ObjType::List);
  ASSERT_TRUE(p.a.insert(l, 0, int64_t{1}));
  ASSERT_TRUE(p.a.insert(l, 1, int64_t{2}));
  p.sync();
  ASSERT_TRUE(p.a.delete_range(l, 0, 1));
  ASSERT_TRUE(p.b.put(l, 0, int64_t{10}));
  p.sync();
  ASSERT_EQ(p.a.length(l), 2u);
  EXPECT_EQ(p.a.get(l, 0)->as_int(), 10);
}

TEST(SequenceTest, ConcurrentRunsDoNotInterleave) {
  Pair p;
  ASSERT_TRUE(p.a.splice_text(p.t, 4, 0, "AAAA"));
  ASSERT_TRUE(p.b.splice_text(p.t, 4, 0, "bbbb"));
  ASSERT_TRUE(p.b.splice_text(p.t, 2, 0, "__"));
  p.a.commit();
  p.sync();
  std::string s = p.a.text(p.t);
  EXPECT_TRUE(s == "ba__seAAAAbbbb" || s == "ba__sebbbbAAAA") << s;
  EXPECT_EQ(s, p.b.text(p.t));
  // Typing one character at a time, interleaved in time, still gives two runs.
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(p.a.splice_text(p.t, static_cast<size_t>(i), 0, "x"));
    p.a.commit();
    ASSERT_TRUE(p.b.splice_text(p.t, static_cast<size_t>(i), 0, "y"));
    p.b.commit();
  }
  p.sync();
  s = p.a.text(p.t);
  EXPECT_TRUE(s.starts_with("xxxxxyyyyy") || s.starts_with("yyyyyxxxxx")) << s;
}

TEST(SequenceTest, ConcurrentDeletesOfOverlappingRanges) {
  Pair p;
  ASSERT_TRUE(p.a.splice_text(p.t, 4, 0, " and more"));
  p.sync();
  ASSERT_TRUE(p.a.splice_text(p.t, 2, 5, ""));
  ASSERT_TRUE(p.b.splice_text(p.t, 4, 6, "!"));
  p.sync();
  EXPECT_EQ(p.a.text(p.t), "ba!ore");
}

TEST(MarkMergeTest, ConcurrentInsertInsideMarkTakesIt) {
  Pair p;
  ASSERT_TRUE(p.a.splice_text(p.t, 4, 0, "line"));  // "baseline"
  p.sync();
  ASSERT_TRUE(p.a.mark(p.t, 2, 6, "bold", true, Expand::None));  // "seli"
  ASSERT_TRUE(p.b.splice_text(p.t, 4, 0, "XY"));                 // inside
  ASSERT_TRUE(p.b.splice_text(p.t, 0, 0, "<"));                  // before
  ASSERT_TRUE(p.b.splice_text(p.t, 9, 0, ">"));                  // after "li": at the end edge
  p.sync();
  EXPECT_EQ(p.a.text(p.t), "<baseXYli>ne");
  std::vector<MarkSpan> want{{3, 9, "bold", true}};
  EXPECT_EQ(p.a.marks(p.t), want);
  EXPECT_EQ(p.b.marks(p.t), want);
}

TEST(MarkMergeTest, ConcurrentMarksOfOneNameResolveTheSameEverywhere) {
  Pair p;
  ASSERT_TRUE(p.a.mark(p.t, 0, 3, "color", std::string("red"), Expand::None));
  ASSERT_TRUE(p.b.mark(p.t, 1, 4, "color", std::string("blue"), Expand::None));
  p.sync();
  EXPECT_EQ(p.a.marks(p.t), p.b.marks(p.t));
  std::vector<MarkSpan> want{{0, 1, "color", std::string("red")}, {1, 4, "color", std::string("blue")}};
  EXPECT_EQ(p.a.marks(p.t), want);
}

TEST(IncrementalTest, WaitsForMissingDependencyThenApplies) {
  Document a(actor("alice"));
  auto t = *a.put_object(ObjId::root(), "t", ObjType::Text);
  a.commit();
  auto first = a.save_incremental();
  ASSERT_TRUE(a.splice_text(t, 0, 0, "hi"));
  a.commit();
  auto second = a.save_incremental();

  Document b(actor("bob"));
  auto r = b.load_incremental(second);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->applied, 0u);
  EXPECT_EQ(r->waiting, 1u);
  EXPECT_FALSE(r->changed());
  EXPECT_EQ(b.change_count(), 0u);
  EXPECT_TRUE(b.heads().empty());
  EXPECT_EQ(b.get_missing_deps().size(), 1u);
  EXPECT_EQ(b.get_missing_deps()[0], a.changes()[0].hash);

  r = b.load_incremental(first);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->applied, 2u);
  EXPECT_EQ(r->waiting, 0u);
  EXPECT_EQ(b.text(t), "hi");
  EXPECT_TRUE(b.get_missing_deps().empty());

  // The same change again changes nothing.
  auto saved = b.save();
  r = b.load_incremental(second);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->applied, 0u);
  EXPECT_EQ(r->duplicates, 1u);
  EXPECT_EQ(b.save(), saved);
}

TEST(IncrementalTest, SaveIncrementalHoldsOnlyNewChangesAndDiscardSkips) {
  Document a(actor("alice"));
  ASSERT_TRUE(a.put(ObjId::root(), "k", int64_t{1}));
  EXPECT_FALSE(a.save_incremental().empty());
  EXPECT_TRUE(a.save_incremental().empty());
  ASSERT_TRUE(a.put(ObjId::root(), "k", int64_t{2}));
  a.discard_pending_incremental();
  EXPECT_TRUE(a.save_incremental().empty());
  ASSERT_TRUE(a.put(ObjId::root(), "k", int64_t{3}));
  a.save();
  EXPECT_TRUE(a.save_incremental().empty());
}

TEST(IncrementalTest, ChangeByHashLoadsElsewhere) {
  Document a(actor("alice"));
  ASSERT_TRUE(a.put(ObjId::root(), "k", int64_t{1}));
  auto h = *a.commit();
  auto bytes = a.get_change_by_hash(h);
  ASSERT_TRUE(bytes);
  Document b(actor("bob"));
  ASSERT_TRUE(b.load_incremental(*bytes));
  EXPECT_EQ(b.heads(), a.heads());
  EXPECT_FALSE(a.get_change_by_hash(ChangeHash{}));
}

TEST(MergeTest, WithItselfOrASubsetChangesNothing) {
  Pair p;
  ASSERT_TRUE(p.a.splice_text(p.t, 0, 0, "more "));
  p.a.commit();
  auto old = p.a.fork_at(p.b.heads());
  ASSERT_TRUE(old);
  EXPECT_EQ(old->text(p.t), "base");
  auto saved = p.a.save();
  auto r = p.a.merge(*old);
  ASSERT_TRUE(r);
  EXPECT_FALSE(r->changed());
  Document same = p.a.fork();
  r = p.a.merge(same);
  ASSERT_TRUE(r);
  EXPECT_FALSE(r->changed());
  EXPECT_EQ(p.a.save(), saved);
}

TEST(ForkTest, ForkAtAVersionAndContinue) {
  Pair p;
  auto v1 = p.a.heads();
  ASSERT_TRUE(p.a.splice_text(p.t, 4, 0, "!"));
  p.a.commit();
  auto f = p.a.fork_at(v1, actor("carol"));
  ASSERT_TRUE(f);
  EXPECT_EQ(f->text(p.t), "base");
  EXPECT_EQ(f->heads(), v1);
  ASSERT_TRUE(f->splice_text(p.t, 0, 0, "the "));
  f->commit();
  ASSERT_TRUE(p.a.merge(*f));
  EXPECT_EQ(p.a.text(p.t), "the base!");
  EXPECT_FALSE(p.a.fork_at(std::vector<ChangeHash>{ChangeHash{}}));
  Document g = p.a.fork(actor("dave"));
  EXPECT_EQ(g.actor(), actor("dave"));
  EXPECT_EQ(g.save(), p.a.save());
}

TEST(SaveTest, RoundTripKeepsStateHistoryAndBytes) {
  Pair p;
  auto l = *p.a.put_object(ObjId::root(), "l", ObjType::List);
  ASSERT_TRUE(p.a.insert(l, 0, 2.5));
  auto m = *p.a.insert_object(l, 1, ObjType::Map);
  ASSERT_TRUE(p.a.put(m, "x", Bytes{0, 255}));
  ASSERT_TRUE(p.a.mark(p.t, 0, 2, "em", true, Expand::Both));
  p.a.commit(CommitOptions{.message = "edit", .time_ms = 99});
  auto bytes = p.a.save();
  auto d = Document::load(bytes);
  ASSERT_TRUE(d) << d.error().display();
  EXPECT_EQ(d->heads(), p.a.heads());
  EXPECT_EQ(d->text(p.t), "base");
  EXPECT_EQ(d->marks(p.t), p.a.marks(p.t));
  EXPECT_EQ(d->get(l, 0)->as_f64(), 2.5);
  EXPECT_EQ(std::get<Bytes>(*d->get(m, "x")->scalar()), (Bytes{0, 255}));
  EXPECT_EQ(d->save(), bytes);
  auto meta = d->changes();
  ASSERT_EQ(meta.size(), 2u);
  EXPECT_EQ(meta[1].message, "edit");
  EXPECT_EQ(meta[1].time_ms, 99);
  // An empty document saves and loads too.
  Document e;
  auto empty = Document::load(e.save());
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->change_count(), 0u);
}

TEST(SaveTest, ArrivalOrderDoesNotChangeTheBytes) {
  Document a(actor("alice")), b(actor("bob")), c(actor("carol"));
  auto t = *a.put_object(ObjId::root(), "t", ObjType::Text);
  a.commit();
  auto base = a.save();
  ASSERT_TRUE(b.load_incremental(base));
  ASSERT_TRUE(c.load_incremental(base));
  ASSERT_TRUE(a.splice_text(t, 0, 0, "aa"));
  ASSERT_TRUE(b.splice_text(t, 0, 0, "bb"));
  ASSERT_TRUE(c.put(ObjId::root(), "k", int64_t{3}));
  auto ia = a.save_incremental(), ib = b.save_incremental(), ic = c.save_incremental();
  Document x(actor("x")), y(actor("y"));
  for (auto* part : {&base, &ia, &ib, &ic}) ASSERT_TRUE(x.load_incremental(*part));
  for (auto* part : {&ic, &ib, &ia, &base}) ASSERT_TRUE(y.load_incremental(*part));
  EXPECT_EQ(x.heads(), y.heads());
  EXPECT_EQ(x.text(t), y.text(t));
  EXPECT_EQ(x.save(), y.save());
}

}  // namespace
}  // namespace pelto::crdt
