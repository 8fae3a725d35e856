// The executor on real documents: each edit's resulting snapshot, and refusals that change nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apps/word_processor/executor.h"
#include "apps/word_processor/tables.h"
#include "apps/word_processor/tests/fixture.h"
#include "interfaces/docmodel/blobstore.h"

namespace pelto::word_processor {
namespace {

using testing::TestDoc;
using ::testing::ElementsAre;

class Executor : public ::testing::Test {
 protected:
  void ok(const WordProcessorAction& a) {
    auto r = word_processor::apply(d.doc(), a);
    ASSERT_TRUE(r) << variant_name(a) << ": " << r.error().display();
  }
  std::vector<std::string> kinds() const {
    std::vector<std::string> out;
    auto snap = d.snap();
    for (const auto& b : snap.body().blocks) out.push_back(b.kind);
    return out;
  }
  TestDoc d;
};

TEST_F(Executor, SpliceInTheHeaderEditsTheHeaderOnly) {
  std::string body = d.add("paragraph", "Head");
  std::string head = d.add("paragraph", "Head", Region::Header);
  ok(act::SpliceText{Region::Header, head, 4, 0, "er"});
  EXPECT_THAT(d.texts(Region::Header), ElementsAre("Header"));
  EXPECT_THAT(d.texts(), ElementsAre("Head"));
  (void)body;
}

TEST_F(Executor, ReplaceAcrossThreeBlocksLeavesOne) {
  std::string a = d.add("paragraph", "hello");
  d.add("paragraph", "middle");
  std::string c = d.add("heading", "wörld");
  ok(act::ReplaceSelection{Region::Body, a, 2, c, 3, "XY"});
  EXPECT_THAT(d.texts(), ElementsAre("heXYld"));
  EXPECT_EQ(d.snap().body().blocks[0].id, a);
}

TEST_F(Executor, PasteOfThreeClipBlocksIntoAParagraph) {
  std::string p = d.add("paragraph", "abcdef");
  d.add("paragraph", "after");
  auto clip = [](std::string kind, std::string text) {
    return ClipBlock{kind, text, {}, std::nullopt, std::nullopt, std::nullopt};
  };
  ClipBlock second = clip("list_item", "two");
  second.ordered = true;
  second.marks = {{0, 3, "bold", MarkValue::Bool(true)}};
  ok(act::PasteFragment{Region::Body, p, 3, p, 3, {clip("heading", "one"), second, clip("quote", "three")}, false});
  EXPECT_THAT(d.texts(), ElementsAre("abcone", "two", "threedef", "after"));
  // The first clip joins the paragraph without taking its style; the others bring theirs.
  EXPECT_THAT(kinds(), ElementsAre("paragraph", "list_item", "quote", "paragraph"));
  auto after = d.snap();
  const auto& two = after.body().blocks[1];
  EXPECT_EQ(two.attr_bool("ordered"), true);
  ASSERT_EQ(two.marks.size(), 1u);
  EXPECT_EQ(two.marks[0].name, "bold");
  EXPECT_EQ(two.marks[0].start, 0u);
  EXPECT_EQ(two.marks[0].end, 3u);
}

TEST_F(Executor, PasteOverARangeWithAdoptedFirstStyle) {
  std::string a = d.add("paragraph", "hello");
  std::string b = d.add("paragraph", "world");
  ok(act::PasteFragment{Region::Body, a, 1, b, 4, {{"heading", "EY", {}, 2, std::nullopt, "center"}}, true});
  auto snap = d.snap();
  ASSERT_EQ(snap.body().blocks.size(), 1u);
  EXPECT_EQ(snap.body().blocks[0].text, "hEYd");
  EXPECT_EQ(snap.body().blocks[0].kind, "heading");
  EXPECT_EQ(snap.body().blocks[0].attr_int("level"), 2);
  EXPECT_EQ(snap.body().blocks[0].attr_str("align"), "center");
}

TEST_F(Executor, InsertTableTwoByThree) {
  std::string p = d.add("paragraph", "before");
  std::string q = d.add("paragraph", "after");
  ok(act::InsertTable{p, 2, 3});
  auto snap = d.snap();
  ASSERT_EQ(snap.body().blocks.size(), 8u);
  EXPECT_EQ(snap.body().blocks.front().id, p);
  EXPECT_EQ(snap.body().blocks.back().id, q);
  auto table = snap.body().blocks[1].attr_str("table");
  ASSERT_TRUE(table);
  std::vector<std::pair<int64_t, int64_t>> places;
  for (size_t i = 1; i <= 6; ++i) {
    const auto& cell = snap.body().blocks[i];
    EXPECT_EQ(cell.kind, "cell");
    EXPECT_EQ(cell.attr_str("table"), table);
    places.emplace_back(*cell.attr_int("row"), *cell.attr_int("col"));
  }
  EXPECT_THAT(places, ElementsAre(std::pair{0, 0}, std::pair{0, 1}, std::pair{0, 2}, std::pair{1, 0},
                                  std::pair{1, 1}, std::pair{1, 2}));
  ASSERT_TRUE(table_grid(snap, *table));
}

class TableEdits : public Executor {
 protected:
  // A 3 x 2 table whose cells hold "r{row}c{col}", between two paragraphs.
  TableEdits() {
    d.add("paragraph", "top");
    id = d.table(3, 2);
    auto snap = d.snap();
    for (const auto& cell : table_cells(snap, id).cells)
      TestDoc::must_ok(write_text(cell.block, fmt::format("r{}c{}", cell.row, cell.col)));
    d.add("paragraph", "bottom");
  }
  Result<void> write_text(const std::string& block, const std::string& text) {
    model::DocMut mut = d.mutation();
    return mut.splice_text(block, 0, 0, text);
  }
  // Cells in document order as "text@row,col".
  std::vector<std::string> cells() const {
    std::vector<std::string> out;
    auto snap = d.snap();
    for (const auto& b : snap.body().blocks)
      if (b.kind == "cell")
        out.push_back(fmt::format("{}@{},{}", b.text, b.attr_int("row").value_or(-1), b.attr_int("col").value_or(-1)));
    return out;
  }
  std::string id;
};

TEST_F(TableEdits, DeleteRowZeroOfThree) {
  ok(act::EditTable{id, {table_edit::DeleteRow{0}}});
  EXPECT_THAT(cells(), ElementsAre("r1c0@0,0", "r1c1@0,1", "r2c0@1,0", "r2c1@1,1"));
}

TEST_F(TableEdits, DeleteColumn) {
  ok(act::EditTable{id, {table_edit::DeleteColumn{0}}});
  EXPECT_THAT(cells(), ElementsAre("r0c1@0,0", "r1c1@1,0", "r2c1@2,0"));
}

TEST_F(TableEdits, InsertRowAtTheTopGoesBeforeTheFirstCell) {
  ok(act::EditTable{id, {table_edit::InsertRow{0}}});
  EXPECT_THAT(cells(), ElementsAre("@0,0", "@0,1", "r0c0@1,0", "r0c1@1,1", "r1c0@2,0", "r1c1@2,1", "r2c0@3,0",
                                   "r2c1@3,1"));
  EXPECT_EQ(d.texts().front(), "top");
}

TEST_F(TableEdits, InsertRowInTheMiddleAndAppendColumn) {
  ok(act::EditTable{id, {table_edit::InsertRow{2}}});
  ok(act::EditTable{id, {table_edit::InsertColumn{2}}});
  EXPECT_THAT(cells(), ElementsAre("r0c0@0,0", "r0c1@0,1", "@0,2", "r1c0@1,0", "r1c1@1,1", "@1,2", "@2,0", "@2,1",
                                   "@2,2", "r2c0@3,0", "r2c1@3,1", "@3,2"));
  EXPECT_TRUE(table_grid(d.snap(), id));
}

TEST_F(TableEdits, InsertColumnZeroAndDelete) {
  ok(act::EditTable{id, {table_edit::InsertColumn{0}}});
  EXPECT_THAT(cells(), ElementsAre("@0,0", "r0c0@0,1", "r0c1@0,2", "@1,0", "r1c0@1,1", "r1c1@1,2", "@2,0", "r2c0@2,1",
                                   "r2c1@2,2"));
  ok(act::EditTable{id, {table_edit::Delete{}}});
  EXPECT_THAT(d.texts(), ElementsAre("top", "bottom"));
}

TEST_F(Executor, TableOfContentsTwiceLeavesOne) {
  std::string intro = d.add("heading", "  Intro ");
  d.add("paragraph", "text");
  std::string deep = d.add("heading", "Deep");
  ok(act::GenerateToc{{{intro, 1, "  Intro ", std::nullopt}, {deep, 3, "Deep", 7}}});
  ok(act::GenerateToc{{{intro, 1, "Intro", 2}, {deep, 3, "Deep", 7}}});
  auto snap = d.snap();
  ASSERT_EQ(snap.body().blocks.size(), 5u);
  EXPECT_EQ(snap.body().blocks[0].text, "Intro .......... 2");
  EXPECT_EQ(snap.body().blocks[1].text, "    Deep .......... 7");
  EXPECT_EQ(snap.body().blocks[1].attr_int("toc_level"), 3);
  EXPECT_EQ(snap.body().blocks[1].attr_str("toc_heading"), deep);
  EXPECT_EQ(snap.body().blocks[1].attr_bool("toc"), true);
  EXPECT_EQ(snap.body().blocks[2].id, intro);
}

TEST_F(Executor, AcceptAllResolvesEveryChangeInDocumentOrder) {
  std::string a = d.add("paragraph", "one");
  std::string b = d.add("paragraph", "two");
  // Made in reverse document order, so their ids sort against the document.
  d.insertion(b, 3, " more", "Ben");
  d.insertion(a, 0, "just ", "Ana");
  {
    model::DocMut mut = d.mutation();
    ASSERT_TRUE(mut.delete_tracked(a, 5, 8, "Cy", "2026"));  // "one"
  }
  ASSERT_EQ(d.snap().changes.size(), 3u);
  ok(act::AcceptChanges{std::nullopt});
  EXPECT_TRUE(d.snap().changes.empty());
  EXPECT_THAT(d.texts(), ElementsAre("just ", "two more"));
}

TEST_F(Executor, RejectOneChange) {
  std::string a = d.add("paragraph", "one");
  std::string keep = d.insertion(a, 3, "!", "Ana");
  std::string drop = d.insertion(a, 0, ">", "Ana");
  ok(act::RejectChanges{drop});
  EXPECT_THAT(d.texts(), ElementsAre("one!"));
  ASSERT_EQ(d.snap().changes.size(), 1u);
  EXPECT_EQ(d.snap().changes[0].id, keep);
}

TEST_F(Executor, PageMarginsAreShortestDecimalTexts) {
  ok(act::SetPageMargins{72.0, 72.5, 4.0, 10000.0});
  auto meta = d.snap().meta;
  EXPECT_EQ(meta["page_margin_top"], "72");
  EXPECT_EQ(meta["page_margin_right"], "72.5");
  EXPECT_EQ(meta["page_margin_bottom"], "4");
  EXPECT_EQ(meta["page_margin_left"], "10000");
  ok(act::SetPageMargins{72.25, 0.1 + 4.2, 4.0, 4.0});
  EXPECT_EQ(d.snap().meta["page_margin_top"], "72.25");
  EXPECT_EQ(std::stod(d.snap().meta["page_margin_right"]), 0.1 + 4.2);
}

TEST_F(Executor, SplitsCarryTheTailIntoTheNewBlock) {
  std::string p = d.add("paragraph", "héllo wörld");
  ok(act::SplitBlock{Region::Body, p, 6, "list_item", true});
  EXPECT_THAT(d.texts(), ElementsAre("héllo ", "wörld"));
  EXPECT_THAT(kinds(), ElementsAre("paragraph", "list_item"));
  EXPECT_EQ(d.snap().body().blocks[1].attr_bool("ordered"), true);
  ok(act::InsertPageBreak{Region::Body, p, 6});
  EXPECT_THAT(d.texts(), ElementsAre("héllo ", "", "wörld"));
  EXPECT_EQ(d.snap().body().blocks[1].attr_bool("page_break_before"), true);
  std::string f = d.add("paragraph", "Page ", Region::Footer);
  ok(act::InsertField{Region::Footer, f, 5, "page-number"});
  ASSERT_EQ(d.snap().fields.size(), 1u);
  EXPECT_EQ(d.snap().fields[0].region, Region::Footer);
}

TEST_F(Executor, InsertImageSplitsAroundTheImage) {
  std::string p = d.add("paragraph", "before after");
  std::vector<uint8_t> bytes = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
  ok(act::InsertImage{p, 7, bytes, 640, std::nullopt});
  auto snap = d.snap();
  ASSERT_EQ(snap.body().blocks.size(), 3u);
  EXPECT_EQ(snap.body().blocks[0].text, "before ");
  const auto& image = snap.body().blocks[1];
  EXPECT_EQ(image.kind, "image");
  EXPECT_EQ(image.attr_str("blob"), blobstore::hash_bytes(bytes));
  EXPECT_EQ(image.attr_int("width"), 640);
  EXPECT_EQ(image.attr_int("height"), std::nullopt);
  EXPECT_EQ(snap.body().blocks[2].text, "after");
  EXPECT_EQ(blobstore::get(*image.attr_str("blob")), bytes);
}

TEST_F(Executor, MarksLinksAndClearing) {
  std::string p = d.add("paragraph", "click here");
  ok(act::SetMark{Region::Body, {{p, 6, 10}}, "italic", MarkValue::Bool(true), {}});
  ok(act::SetMark{Region::Body, {{p, 6, 10}}, "link", MarkValue::Str("https://example.org"), {"italic"}});
  auto marked = d.snap();
  auto marks = marked.body().blocks[0].marks;
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_EQ(marks[0].name, "link");
  EXPECT_EQ(marks[0].value, MarkValue::Str("https://example.org"));
  ok(act::SetMark{Region::Body, {{p, 0, 10}}, "link", std::nullopt, {}});
  EXPECT_TRUE(d.snap().body().blocks[0].marks.empty());
}

TEST_F(Executor, CommentsAreAddedRepliedAndResolved) {
  std::string p = d.add("paragraph", "needs review");
  ok(act::AddComment{p, 0, 5, "Ana", "2026-01-01", "Why?"});
  auto snap = d.snap();
  ASSERT_EQ(snap.comments.size(), 1u);
  std::string id = snap.comments[0].id;
  EXPECT_EQ(snap.comments[0].text(), "Why?");
  EXPECT_EQ(snap.comments[0].range, (model::Range{p, 0, 5}));
  ok(act::ReplyToComment{id, "Ben", "2026-01-02", "Because."});
  ASSERT_EQ(d.snap().comments[0].replies.size(), 1u);
  ok(act::ResolveComment{id});
  snap = d.snap();
  EXPECT_TRUE(snap.comments.empty());
  EXPECT_TRUE(snap.body().blocks[0].marks.empty());
}

TEST_F(Executor, StylesParagraphsAndBody) {
  std::string p = d.add("paragraph", "text");
  std::string q = d.add("paragraph", "more");
  ok(act::SetStyleProperty{"fancy", "bold", AttrValue::Bool(true)});
  ok(act::ApplyNamedStyle{Region::Body, {p}, "fancy", "heading", 2, std::nullopt});
  auto snap = d.snap();
  EXPECT_EQ(snap.body().blocks[0].kind, "heading");
  EXPECT_EQ(snap.body().blocks[0].attr_str("style"), "fancy");
  ok(act::DeleteStyle{"fancy", {p}});
  snap = d.snap();
  EXPECT_EQ(snap.body().blocks[0].attr_str("style"), "");
  EXPECT_EQ(snap.style("fancy"), nullptr);
  ok(act::SetParagraphStyle{Region::Body, {q}, "list_item", 1, false});
  EXPECT_EQ(d.snap().body().blocks[1].kind, "list_item");
  ok(act::InsertParagraph{p, "between"});
  EXPECT_THAT(d.texts(), ElementsAre("text", "between", "more"));
  ok(act::RemoveBlocks{{q, q}});
  EXPECT_THAT(d.texts(), ElementsAre("text", "between"));
  ok(act::ReplaceBody{"# Title\n\nSome *body*."});
  EXPECT_THAT(d.texts(), ElementsAre("Title", "Some body."));
  EXPECT_THAT(kinds(), ElementsAre("heading", "paragraph"));
}

TEST_F(Executor, RefusedActionsChangeNothing) {
  std::string p = d.add("paragraph", "hello");
  d.commit();
  auto heads = d.doc().heads();
  const WordProcessorAction refused[] = {
      act::SpliceText{Region::Body, p, 6, 0, "x"},
      act::ReplaceSelection{Region::Body, p, 3, p, 2, ""},
      act::DeleteStyle{"heading2", {}},
      act::EditTable{"none", {table_edit::Delete{}}},
      act::SetMark{Region::Body, {{p, 0, 1}}, "link", MarkValue::Str("http://example.org"), {}},
  };
  for (const auto& a : refused) {
    auto r = word_processor::apply(d.doc(), a);
    ASSERT_FALSE(r) << variant_name(a);
    EXPECT_EQ(r.error().display(), kActionRefused);
    EXPECT_EQ(d.doc().pending_ops(), 0u);
  }
  EXPECT_EQ(d.doc().heads(), heads);
}

TEST(ExecutorUnopened, AnUninitialisedDocumentIsUnavailable) {
  crdt::Document doc;
  auto r = word_processor::apply(doc, act::ReplaceBody{"x"});
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().display(), kDocumentUnavailable);
  EXPECT_EQ(doc.pending_ops(), 0u);
}

}  // namespace
}  // namespace pelto::word_processor
