// The document a scripted participant holds: its listing, what it refuses from the room, and the
// changes it types.
#include <gtest/gtest.h>

#include <algorithm>

#include "interfaces/base/utf8.h"
#include "tools/room/served.h"

namespace pelto::room {
namespace {

constexpr std::string_view kSeed = "# Plan\n\nKeep this paragraph.\n\n- first\n- second\n";

RoomDocument seeded() {
  auto doc = RoomDocument::seeded(kSeed, crdt::ActorId::random());
  EXPECT_TRUE(doc.has_value()) << doc.error().display();
  return std::move(*doc);
}

RoomDocument copy_of(RoomDocument& doc) {
  auto copy = RoomDocument::from_snapshot(doc.save(), crdt::ActorId::random());
  EXPECT_TRUE(copy.has_value()) << copy.error().display();
  return std::move(*copy);
}

TEST(RoomDocument, SeedsTheBodyFromMarkdown) {
  auto doc = seeded();
  std::vector<BlockLine> want = {
      {"heading", "Plan"}, {"paragraph", "Keep this paragraph."}, {"list_item", "first"}, {"list_item", "second"}};
  EXPECT_EQ(doc.blocks(), want);
}

TEST(RoomDocument, ListingKeepsEachBlockOnOneLine) {
  struct Case {
    std::vector<BlockLine> blocks;
    std::string want;
  };
  const std::vector<Case> cases = {
      {{}, "document: 0 blocks\n"},
      {{{"paragraph", "one"}}, "document: 1 block\nparagraph: one\n"},
      {{{"code", "a\nb\\c\r"}, {"heading", ""}}, "document: 2 blocks\ncode: a\\nb\\\\c\\r\nheading: \n"},
  };
  for (const auto& c : cases) EXPECT_EQ(render_blocks(c.blocks), c.want);
}

TEST(RoomDocument, RefusesBytesThatAreNotTheDocumentAndKeepsWhatItHas) {
  auto doc = seeded();
  const auto before = doc.blocks();
  crdt::Document other;
  ASSERT_TRUE(other.put(crdt::ObjId::root(), "chat", std::string("not a word-processor document")).has_value());
  const crdt::Bytes not_ours = other.save();
  const crdt::Bytes garbage = {0x85, 0x6f, 0x4a, 0x83, 1, 2, 3, 4, 5};
  struct Case {
    const char* what;
    crdt::Bytes bytes;
    bool snapshot;
  };
  const std::vector<Case> cases = {
      {"garbage snapshot", garbage, true},
      {"empty snapshot", {}, true},
      {"snapshot of another schema", not_ours, true},
      {"garbage change", garbage, false},
  };
  for (const auto& c : cases) {
    auto r = c.snapshot ? doc.merge_snapshot(c.bytes) : doc.apply_change(c.bytes);
    EXPECT_FALSE(r.has_value()) << c.what;
    EXPECT_EQ(doc.blocks(), before) << c.what;
  }
  EXPECT_FALSE(RoomDocument::from_snapshot(not_ours, crdt::ActorId::random()).has_value());
}

TEST(RoomDocument, TypedChangesReplayInOrderToTheSameParagraph) {
  const std::string text = "Vesk: pöytä ✓ 🙂";
  for (bool per_character : {false, true}) {
    auto server = seeded();
    auto writer = copy_of(server);
    auto changes = writer.append_paragraph(text, per_character);
    ASSERT_TRUE(changes.has_value()) << changes.error().display();
    EXPECT_EQ(changes->size(), per_character ? utf8::length(text) : 1u);
    for (const auto& change : *changes) {
      auto applied = server.apply_change(change);
      ASSERT_TRUE(applied.has_value()) << applied.error().display();
      EXPECT_TRUE(*applied);
      // Typing only ever shows a beginning of the paragraph.
      auto last = server.blocks().back();
      EXPECT_EQ(last.kind, "paragraph");
      EXPECT_TRUE(std::string_view(text).starts_with(last.text)) << last.text;
    }
    EXPECT_EQ(server.blocks(), writer.blocks());
    EXPECT_EQ(server.blocks().back(), (BlockLine{"paragraph", text}));
  }
}

TEST(RoomDocument, WritersStartingFromTheSameSnapshotBothLand) {
  auto server = seeded();
  auto first = copy_of(server);
  auto second = copy_of(server);
  auto a = first.append_paragraph("from the first", false);
  auto b = second.append_paragraph("from the second", true);
  ASSERT_TRUE(a.has_value() && b.has_value());
  for (const auto* changes : {&*a, &*b})
    for (const auto& change : *changes) ASSERT_TRUE(server.apply_change(change).value_or(false));
  std::vector<std::string> texts;
  for (const auto& block : server.blocks()) texts.push_back(block.text);
  ASSERT_EQ(texts.size(), 6u);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "from the first"), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "from the second"), 1);
}

TEST(RoomDocument, RefusesTextItCannotTypeAndChangesNothing) {
  auto doc = seeded();
  const auto before = doc.blocks();
  const auto heads = doc.engine().heads();
  for (std::string_view text : {std::string_view(""), std::string_view("bad \xff byte")}) {
    EXPECT_FALSE(doc.append_paragraph(text, true).has_value());
    EXPECT_EQ(doc.blocks(), before);
    EXPECT_EQ(doc.engine().heads(), heads);
  }
}

TEST(RoomDocument, MergesASnapshotThatHoldsMore) {
  auto server = seeded();
  auto peer = copy_of(server);
  ASSERT_TRUE(peer.append_paragraph("added elsewhere", false).has_value());
  auto merged = server.merge_snapshot(peer.save());
  ASSERT_TRUE(merged.has_value()) << merged.error().display();
  EXPECT_TRUE(*merged);
  EXPECT_EQ(server.blocks(), peer.blocks());
  // The same snapshot again brings nothing new.
  EXPECT_FALSE(server.merge_snapshot(peer.save()).value_or(true));
}

}  // namespace
}  // namespace pelto::room
