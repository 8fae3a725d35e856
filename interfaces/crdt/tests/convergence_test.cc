// Randomized convergence: replicas make random map, list, text and mark edits and exchange their
// incremental saves in random orders, with duplicates and delays. At the end every replica holds
// the same heads, state and save bytes; where one replica edited alone, its text matches a plain
// string model.
#include <gtest/gtest.h>

#include <deque>
#include <random>

#include "interfaces/crdt/codec.h"
#include "interfaces/crdt/document.h"

namespace pelto::crdt {
namespace {

struct World {
  std::mt19937 rng;
  std::vector<Document> docs;
  std::vector<std::deque<Bytes>> inbox;  // undelivered messages per replica
  ObjId text, list;

  World(uint32_t seed, size_t n) : rng(seed) {
    Document genesis(ActorId::from_string("genesis"));
    text = *genesis.put_object(ObjId::root(), "text", ObjType::Text);
    list = *genesis.put_object(ObjId::root(), "list", ObjType::List);
    auto base = genesis.save();
    for (size_t i = 0; i < n; ++i) {
      docs.emplace_back(ActorId::from_string("replica-" + std::to_string(i)));
      EXPECT_TRUE(docs.back().load_incremental(base));
    }
    inbox.resize(n);
  }
  size_t pick(size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng) : 0; }

  void random_edit(Document& d) {
    switch (pick(9)) {
      case 0: (void)d.put(ObjId::root(), "k" + std::to_string(pick(4)), static_cast<int64_t>(pick(100))); break;
      case 1: (void)d.delete_key(ObjId::root(), "k" + std::to_string(pick(4))); break;
      case 2: (void)d.insert(list, pick(d.length(list) + 1), static_cast<int64_t>(pick(100))); break;
      case 3:
        if (d.length(list)) (void)d.put(list, pick(d.length(list)), std::string("p"));
        break;
      case 4:
        if (d.length(list)) (void)d.delete_range(list, pick(d.length(list)), 1);
        break;
      case 5: case 6: {
        size_t len = d.length(text), at = pick(len + 1), del = at < len ? pick(std::min<size_t>(3, len - at) + 1) : 0;
        static const char* pieces[] = {"a", "bc", "é", "🙂x", "hello "};
        (void)d.splice_text(text, at, del, pieces[pick(5)]);
        break;
      }
      case 7: {
        size_t len = d.length(text);
        if (len < 2) break;
        size_t s = pick(len - 1), e = s + 1 + pick(len - s - 1);
        static const Expand ex[] = {Expand::None, Expand::Before, Expand::After, Expand::Both};
        (void)d.mark(text, s, e, pick(2) ? "bold" : "link", static_cast<int64_t>(pick(3)), ex[pick(4)]);
        break;
      }
      case 8: {
        size_t len = d.length(text);
        if (len < 2) break;
        size_t s = pick(len - 1);
        (void)d.unmark(text, s, s + 1, "bold", Expand::None);
        break;
      }
    }
  }

  void broadcast(size_t from, Bytes msg) {
    if (msg.empty()) return;
    for (size_t i = 0; i < docs.size(); ++i) {
      if (i == from) continue;
      inbox[i].push_back(msg);
      if (pick(5) == 0) inbox[i].push_back(msg);  // duplicate
    }
  }

  void deliver_some(size_t to) {
    auto& q = inbox[to];
    size_t n = pick(q.size() + 1);
    for (size_t k = 0; k < n && !q.empty(); ++k) {
      size_t idx = pick(q.size());  // out of order
      auto r = docs[to].load_incremental(q[idx]);
      ASSERT_TRUE(r) << r.error().display();
      q.erase(q.begin() + static_cast<long>(idx));
    }
  }

  void deliver_all() {
    for (size_t i = 0; i < docs.size(); ++i) {
      std::shuffle(inbox[i].begin(), inbox[i].end(), rng);
      while (!inbox[i].empty()) {
        ASSERT_TRUE(docs[i].load_incremental(inbox[i].front()));
        inbox[i].pop_front();
      }
    }
  }

  void expect_converged() {
    auto heads = docs[0].heads();
    auto saved = docs[0].save();
    for (size_t i = 1; i < docs.size(); ++i) {
      ASSERT_TRUE(docs[i].get_missing_deps().empty());
      EXPECT_EQ(docs[i].heads(), heads) << "replica " << i;
      EXPECT_EQ(docs[i].text(text), docs[0].text(text));
      EXPECT_EQ(docs[i].marks(text), docs[0].marks(text));
      EXPECT_EQ(docs[i].keys(ObjId::root()), docs[0].keys(ObjId::root()));
      for (auto& k : docs[0].keys(ObjId::root())) {
        auto a = docs[0].get_all(ObjId::root(), k), b = docs[i].get_all(ObjId::root(), k);
        ASSERT_EQ(a.size(), b.size());
        for (size_t j = 0; j < a.size(); ++j) EXPECT_EQ(a[j].v, b[j].v);
      }
      ASSERT_EQ(docs[i].length(list), docs[0].length(list));
      for (size_t j = 0; j < docs[0].length(list); ++j) EXPECT_EQ(docs[i].get(list, j)->v, docs[0].get(list, j)->v);
      EXPECT_EQ(docs[i].save(), saved) << "replica " << i;
    }
    auto loaded = Document::load(saved);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->heads(), heads);
    EXPECT_EQ(loaded->text(text), docs[0].text(text));
    EXPECT_EQ(loaded->save(), saved);
  }
};

class ConvergenceTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(ConvergenceTest, ReplicasConvergeWhateverTheDeliveryOrder) {
  World w(GetParam(), 4);
  for (int round = 0; round < 150; ++round) {
    size_t who = w.pick(w.docs.size());
    size_t edits = 1 + w.pick(4);
    for (size_t e = 0; e < edits; ++e) w.random_edit(w.docs[who]);
    if (w.pick(8) == 0) {
      w.docs[who].rollback();
    } else {
      w.docs[who].commit();
    }
    w.broadcast(who, w.docs[who].save_incremental());
    w.deliver_some(w.pick(w.docs.size()));
    if (HasFatalFailure()) return;
  }
  w.deliver_all();
  w.expect_converged();

  // One replica edits alone: its text follows a string model, and so do the others once delivered.
  auto& solo = w.docs[1];
  auto start = solo.text(w.text);
  auto decoded = codec::utf8_decode(start);
  ASSERT_TRUE(decoded);
  std::u32string model = *decoded;
  for (int i = 0; i < 200; ++i) {
    size_t at = w.pick(model.size() + 1), del = at < model.size() ? w.pick(std::min<size_t>(4, model.size() - at) + 1) : 0;
    std::u32string ins(w.pick(3), U'a' + static_cast<char32_t>(w.pick(26)));
    if (w.pick(4) == 0) ins += U'ж';
    std::string utf8;
    for (char32_t c : ins) codec::utf8_append(utf8, c);
    ASSERT_TRUE(solo.splice_text(w.text, at, del, utf8));
    model.replace(at, del, ins);
    if (w.pick(3) == 0) {
      solo.commit();
      w.broadcast(1, solo.save_incremental());
    }
  }
  solo.commit();
  w.broadcast(1, solo.save_incremental());
  w.deliver_all();
  std::string want;
  for (char32_t c : model) codec::utf8_append(want, c);
  EXPECT_EQ(solo.text(w.text), want);
  w.expect_converged();
}

INSTANTIATE_TEST_SUITE_P(Seeds, ConvergenceTest, ::testing::Values(1u, 2u, 3u, 42u, 1234u, 99991u));

}  // namespace
}  // namespace pelto::crdt
