// Random actions, valid and not, on random documents: a refused action leaves the heads as they
// were; an accepted one leaves a document that saves, loads, opens and materializes.
#include <gtest/gtest.h>

#include <random>

#include "apps/word_processor/executor.h"
#include "apps/word_processor/limits.h"
#include "apps/word_processor/tests/fixture.h"
#include "interfaces/base/utf8.h"

namespace pelto::word_processor {
namespace {

using testing::TestDoc;

class Gen {
 public:
  explicit Gen(uint32_t seed) : rng_(seed) {}

  uint64_t num(uint64_t lo, uint64_t hi) { return std::uniform_int_distribution<uint64_t>(lo, hi)(rng_); }
  int64_t snum(int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng_); }
  bool coin(int percent = 50) { return num(1, 100) <= static_cast<uint64_t>(percent); }
  template <class T>
  const T& pick(const std::vector<T>& v) { return v[num(0, v.size() - 1)]; }

  std::string text() {
    static const std::vector<std::string> pieces = {"a", "é", "𝄞", " ", "word", "\n", "ß"};
    std::string out;
    for (uint64_t i = num(0, 6); i > 0; --i) out += pick(pieces);
    return out;
  }

 private:
  std::mt19937 rng_;
};

// A document of random paragraphs, headings, an image, a table, a comment and a tracked change.
void fill(TestDoc& d, Gen& g) {
  for (uint64_t i = g.num(1, 6); i > 0; --i) d.add(g.coin(30) ? "heading" : "paragraph", g.text());
  if (g.coin()) d.add("image", "");
  if (g.coin()) d.table(static_cast<int64_t>(g.num(1, 3)), static_cast<int64_t>(g.num(1, 3)));
  d.add("paragraph", "Head", Region::Header);
  auto body = d.snap().body().blocks;
  const auto& b = body.front();
  if (utf8::length(b.text) >= 2 && g.coin()) d.comment(b.id, 0, 1, "Ana", "note");
  if (g.coin()) d.insertion(b.id, 0, "new");
  if (g.coin()) d.style("custom", {{"bold", true}});
  d.commit();
}

struct Targets {
  std::vector<std::string> blocks, headings, images, tables, comments, changes, header;
  std::vector<size_t> lengths;
};

Targets targets(const TestDoc& d) {
  Targets t;
  auto snap = d.snap();
  for (const auto& b : snap.body().blocks) {
    t.blocks.push_back(b.id);
    if (b.kind == "heading") t.headings.push_back(b.id);
    if (b.kind == "image") t.images.push_back(b.id);
    if (auto table = b.attr_str("table")) t.tables.push_back(*table);
  }
  for (const auto& b : snap.region(Region::Header).blocks) t.header.push_back(b.id);
  for (const auto& c : snap.comments) t.comments.push_back(c.id);
  for (const auto& c : snap.changes) t.changes.push_back(c.id);
  t.blocks.push_back("stale-block");
  t.headings.push_back(t.blocks.front());
  t.images.push_back(t.blocks.front());
  t.tables.push_back("stale-table");
  t.comments.push_back("stale-comment");
  t.changes.push_back("stale-change");
  return t;
}

WordProcessorAction random_action(Gen& g, const Targets& t) {
  auto block = [&] { return g.pick(t.blocks); };
  auto off = [&] { return g.num(0, 8); };
  auto region = [&] { return g.coin(85) ? Region::Body : Region::Header; };
  auto region_block = [&](Region r) { return r == Region::Header && g.coin(80) ? g.pick(t.header) : block(); };
  switch (g.num(0, 27)) {
    case 0: {
      Region r = region();
      return act::SpliceText{r, region_block(r), off(), g.num(0, 3), g.text()};
    }
    case 1: {
      Region r = region();
      return act::ReplaceSelection{r, region_block(r), off(), region_block(r), off(), g.text()};
    }
    case 2: {
      std::vector<Span> spans;
      for (uint64_t i = g.num(0, 3); i > 0; --i) spans.push_back({block(), off(), off()});
      std::optional<MarkValue> v;
      if (g.coin(70)) v = g.coin() ? MarkValue::Bool(true) : MarkValue::Str(g.coin() ? "https://x.org" : "http://x");
      return act::SetMark{Region::Body, spans, g.coin() ? "bold" : "link", v, {}};
    }
    case 3: return act::SetParagraphStyle{Region::Body, {block()}, g.coin() ? "heading" : "x y", g.snum(-1, 10), g.coin()};
    case 4: return act::ApplyNamedStyle{Region::Body, {block()}, "custom", std::nullopt, g.snum(0, 10), std::nullopt};
    case 5: return act::SetBlockAttr{Region::Body, {block()}, g.coin() ? "align" : "width",
                                     g.coin() ? AttrValue::Str("center") : AttrValue::Int(g.snum(0, 5))};
    case 6: return act::SetPageMargins{double(g.num(0, 100)), 72, 72, 72.5};
    case 7: return act::SetStyleProperty{g.coin() ? "custom" : "body", "size", AttrValue::Float(double(g.num(0, 300)))};
    case 8: return act::DeleteStyle{g.coin() ? "custom" : "quote", {}};
    case 9: return act::SetImageCrop{g.pick(t.images), g.snum(-1, 5000), 0, g.snum(0, 5000), 0};
    case 10: return act::SetImageSize{g.pick(t.images), g.snum(0, 40), 100};
    case 11: return act::SetImagePlacement{g.pick(t.images), g.coin() ? "page" : "float", "none", 0, 0, 0};
    case 12: return act::InsertTable{block(), g.num(0, 3), g.num(1, 3)};
    case 13: {
      TableEdit e;
      switch (g.num(0, 4)) {
        case 0: e.v = table_edit::InsertRow{g.num(0, 4)}; break;
        case 1: e.v = table_edit::InsertColumn{g.num(0, 4)}; break;
        case 2: e.v = table_edit::DeleteRow{g.num(0, 3)}; break;
        case 3: e.v = table_edit::DeleteColumn{g.num(0, 3)}; break;
        default: e.v = table_edit::Delete{};
      }
      return act::EditTable{g.pick(t.tables), e};
    }
    case 14: return act::InsertImage{block(), off(), std::vector<uint8_t>(g.num(0, 4), 7), std::nullopt, std::nullopt};
    case 15: {
      Region r = region();
      return act::InsertPageBreak{r, region_block(r), off()};
    }
    case 16: return act::SplitBlock{Region::Body, block(), off(), g.coin() ? "paragraph" : "heading", g.coin()};
    case 17: {
      Region r = region();
      return act::InsertField{r, region_block(r), off(), "page-number"};
    }
    case 18: {
      std::vector<TocTarget> entries;
      for (uint64_t i = g.num(0, 2); i > 0; --i)
        entries.push_back({g.pick(t.headings), g.snum(0, 4), g.text(), g.coin() ? std::optional<uint64_t>(3) : std::nullopt});
      return act::GenerateToc{entries};
    }
    case 19: {
      std::vector<ClipBlock> clips;
      for (uint64_t i = g.num(0, 3); i > 0; --i)
        clips.push_back({g.coin(90) ? "paragraph" : "bad kind", g.text(), {}, std::nullopt, std::nullopt, std::nullopt});
      return act::PasteFragment{Region::Body, block(), off(), block(), off(), clips, g.coin()};
    }
    case 20: return act::InsertParagraph{block(), g.text()};
    case 21: return act::RemoveBlocks{{block()}};
    case 22: return act::ReplaceBody{g.coin() ? "# T\n\n- a\n- b" : g.text()};
    case 23: return act::AcceptChanges{g.coin() ? std::nullopt : std::optional(g.pick(t.changes))};
    case 24: return act::RejectChanges{g.coin() ? std::nullopt : std::optional(g.pick(t.changes))};
    case 25: return act::ResolveComment{g.pick(t.comments)};
    case 26: return act::AddComment{block(), off(), off(), g.coin(80) ? "Ana" : " ", "", g.text()};
    default: return act::ReplyToComment{g.pick(t.comments), "Ben", "", g.text()};
  }
}

TEST(ExecutorProperty, RefusalsChangeNothingAndEditsKeepTheDocumentReadable) {
  size_t accepted = 0, refused = 0;
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    Gen g(seed);
    TestDoc d;
    fill(d, g);
    for (int step = 0; step < 15; ++step) {
      auto action = random_action(g, targets(d));
      SCOPED_TRACE(fmt::format("seed {} step {}: {}", seed, step, to_json(action).dump()));
      auto heads = d.doc().heads();
      auto r = word_processor::apply(d.doc(), action);
      if (!r) {
        ++refused;
        ASSERT_TRUE(r.error().display() == kActionRefused) << r.error().display();
        ASSERT_EQ(d.doc().pending_ops(), 0u);
        ASSERT_EQ(d.doc().heads(), heads);
        continue;
      }
      ++accepted;
      d.commit();
      auto loaded = crdt::Document::load(d.doc().save());
      ASSERT_TRUE(loaded) << loaded.error().display();
      auto opened = model::open(*loaded);
      ASSERT_TRUE(opened) << opened.error().display();
      auto again = model::materialize(*loaded, *opened);
      auto here = d.snap();
      ASSERT_EQ(again.body().blocks.size(), here.body().blocks.size());
      for (const auto& b : here.body().blocks) ASSERT_TRUE(utf8::is_valid(b.text));
    }
  }
  // Both kinds happened often enough for the property to mean something.
  EXPECT_GT(accepted, 100u);
  EXPECT_GT(refused, 100u);
}

}  // namespace
}  // namespace pelto::word_processor
