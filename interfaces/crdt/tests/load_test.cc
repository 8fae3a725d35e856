// Untrusted bytes: truncated, bit-flipped and random input to load and load_incremental fails with
// an error value, never crashes, and leaves the document as it was.
#include <gtest/gtest.h>

#include <random>

#include "interfaces/crdt/change.h"
#include "interfaces/crdt/document.h"
#include "interfaces/crdt/save_format.h"

namespace pelto::crdt {
namespace {

class BadInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Document a(ActorId::from_string("alice"));
    auto t = *a.put_object(ObjId::root(), "t", ObjType::Text);
    ASSERT_TRUE(a.splice_text(t, 0, 0, "some text with ünïcode"));
    a.commit();
    first_ = a.save_incremental();
    ASSERT_TRUE(a.mark(t, 1, 4, "bold", true, Expand::After));
    auto l = *a.put_object(ObjId::root(), "l", ObjType::List);
    ASSERT_TRUE(a.insert(l, 0, std::string("x")));
    a.commit(CommitOptions{.message = "second", .time_ms = 5});
    incremental_ = a.save_incremental();
    whole_ = a.save();
  }

  // The target document: holds the first change; must be unchanged after any failure.
  Document target() {
    Document d(ActorId::from_string("bob"));
    EXPECT_TRUE(d.load_incremental(first_));
    return d;
  }

  void expect_refused_or_sane(std::span<const uint8_t> bytes) {
    auto loaded = Document::load(bytes);
    if (loaded) (void)loaded->save();
    Document d = target();
    auto before = d.save();
    auto heads = d.heads();
    auto r = d.load_incremental(bytes);
    if (!r) {
      EXPECT_EQ(d.heads(), heads);
      EXPECT_EQ(d.save(), before);
      EXPECT_TRUE(d.get_missing_deps().empty());
    }
  }

  Bytes first_, incremental_, whole_;
};

TEST_F(BadInputTest, TruncatedInputIsRefused) {
  for (const Bytes* src : {&incremental_, &whole_}) {
    for (size_t n = 0; n < src->size(); ++n) {
      std::span<const uint8_t> cut(src->data(), n);
      if (n > 0) {
        EXPECT_FALSE(Document::load(cut)) << "length " << n;
      }
      expect_refused_or_sane(cut);
      Document d = target();
      auto before = d.save();
      if (n > 0) {
        EXPECT_FALSE(d.load_incremental(cut)) << "length " << n;
        EXPECT_EQ(d.save(), before);
      }
    }
  }
}

TEST_F(BadInputTest, BitFlipsAreRefusedOrVerified) {
  // A flipped bit either fails to decode, fails its hash checks, or (for bits that are data of a
  // change chunk) makes another well-formed change; the whole save verifies its heads.
  for (const Bytes* src : {&incremental_, &whole_}) {
    for (size_t i = 0; i < src->size(); ++i) {
      for (int bit = 0; bit < 8; ++bit) {
        Bytes b = *src;
        b[i] ^= static_cast<uint8_t>(1u << bit);
        expect_refused_or_sane(b);
        if (src == &whole_) {
          // Either refused, or the flip hit a bit that does not change the content (heads verified).
          auto loaded = Document::load(b);
          if (loaded) {
            EXPECT_EQ(loaded->save(), whole_) << "byte " << i << " bit " << bit;
          }
        }
      }
    }
  }
}

TEST_F(BadInputTest, RandomBytesAreRefused) {
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    Bytes b(rng() % 200);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    if (i % 2 && b.size() >= 5) {  // a valid chunk header in front of garbage
      b[0] = 'P', b[1] = 'L', b[2] = 'T', b[3] = 'O', b[4] = static_cast<uint8_t>(1 + i % 2);
    }
    EXPECT_FALSE(Document::load(b).has_value() && !b.empty());
    expect_refused_or_sane(b);
  }
}

TEST_F(BadInputTest, FailureInALaterChunkLeavesEarlierOnesUnapplied) {
  Bytes bad = incremental_;
  bad[4] = 9;  // unknown chunk kind
  Document d(ActorId::from_string("bob"));
  Bytes stream = first_;
  stream.insert(stream.end(), bad.begin(), bad.end());
  EXPECT_FALSE(d.load_incremental(stream));
  EXPECT_EQ(d.change_count(), 0u);
  EXPECT_TRUE(d.heads().empty());
}

TEST_F(BadInputTest, WellFormedChangeThatDoesNotFitUndoesTheWholeBatch) {
  // A change that decodes and hashes fine but deletes an element that does not exist, after a good
  // change in the same batch: nothing of the batch stays.
  Document d = target();
  auto before = d.save();
  auto heads = d.heads();
  ActorTable actors;
  Change bad;
  bad.actor = actors.intern(ActorId::from_string("mallory").bytes);
  bad.seq = 1;
  bad.start_op = 1000;
  bad.deps = d.heads();
  Op op;
  op.kind = OpKind::SeqDel;
  op.obj = OpId{1, actors.intern(ActorId::from_string("alice").bytes)};
  op.elem = OpId{999, bad.actor};
  op.len = 1;
  bad.ops.push_back(op);
  Bytes stream = incremental_;  // applies
  format::write_change_chunk(stream, encode_change(bad, actors));
  auto r = d.load_incremental(stream);
  ASSERT_FALSE(r);
  EXPECT_EQ(d.heads(), heads);
  EXPECT_EQ(d.save(), before);
  EXPECT_TRUE(d.load_incremental(incremental_));
  EXPECT_EQ(d.change_count(), 2u);
}

TEST_F(BadInputTest, HugeDeclaredLengthsDoNotAllocate) {
  // Chunk, count and string lengths beyond the input are refused before any allocation.
  Bytes b = {'P', 'L', 'T', 'O', 1, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f};
  EXPECT_FALSE(Document::load(b));
  Bytes c = {'P', 'L', 'T', 'O', 1, 12, 0xff, 0xff, 0xff, 0xff, 0x0f, 'a', 'b', 'c', 'd', 'e', 'f', 'g'};
  EXPECT_FALSE(Document::load(c));
}

}  // namespace
}  // namespace pelto::crdt
