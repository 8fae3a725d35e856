// Blocks in the three regions, texts, attributes, marks, staging, styles, ids and tolerant reading.
#include <set>

#include <gtest/gtest.h>

#include "interfaces/docmodel/tests/fixture.h"

namespace pelto::model {
namespace {

using testing::Fresh;

TEST(Open, RefusesDocumentsWithoutTheSchema) {
  crdt::Document empty;
  auto r = open(empty);
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().message().find("\"folio\""), std::string::npos) << r.error().message();

  crdt::Document wrong;
  ASSERT_TRUE(wrong.put(crdt::ObjId::root(), kRootKey, std::string("not a map")));
  auto w = open(wrong);
  ASSERT_FALSE(w);
  EXPECT_NE(w.error().message().find("not a map"), std::string::npos);
}

TEST(Open, NewDocumentHasEmptyRegionsAndTheBuiltinStyles) {
  Fresh f;
  auto s = f.snap();
  for (Region r : kRegions) EXPECT_TRUE(s.region(r).blocks.empty());
  std::vector<std::string> ids;
  for (const auto& st : s.styles) ids.push_back(st.id);
  EXPECT_EQ(ids, (std::vector<std::string>{"body", "heading1", "heading2", "heading3", "list", "quote"}));
  EXPECT_EQ(s.style("heading1")->name(), "Heading 1");
  EXPECT_EQ(f.doc.actor(), crdt::ActorId::from_string("alice"));
  EXPECT_FALSE(create(f.doc)) << "a second genesis must be refused";
}

TEST(Blocks, EachRegionKeepsItsOwnOrderedBlocks) {
  Fresh f;
  for (Region r : kRegions) {
    auto a = f.para(fmt::format("{} one", region_key(r)), std::nullopt, r);
    auto c = f.para(fmt::format("{} three", region_key(r)), a, r);
    auto b = f.para(fmt::format("{} two", region_key(r)), a, r);
    auto first = f.para(fmt::format("{} zero", region_key(r)), std::nullopt, r);
    EXPECT_EQ(blocks_in_order_in(f.doc, f.model, r), (std::vector<std::string>{first, a, b, c}));
  }
  auto s = f.snap();
  for (Region r : kRegions) {
    const auto& blocks = s.region(r).blocks;
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[2].text, fmt::format("{} two", region_key(r)));
    EXPECT_EQ(blocks[2].kind, "paragraph");
  }
  // A header edit lands in the header only.
  auto header_block = s.region(Region::Header).blocks[0].id;
  ASSERT_TRUE(f.mut.splice_text_in(Region::Header, header_block, 0, 6, "HEADER"));
  EXPECT_EQ(materialize_region(f.doc, f.model, Region::Header).blocks[0].text, "HEADER zero");
  auto header_text = f.mut.region_text_obj(Region::Header, header_block);
  ASSERT_TRUE(header_text);
  EXPECT_EQ(f.doc.text(*header_text), "HEADER zero");
  EXPECT_FALSE(f.mut.text_obj(header_block)) << "the body has no such block";
  EXPECT_TRUE(region_obj(f.doc, f.model, Region::Header, header_block));
  EXPECT_FALSE(block_obj(f.doc, f.model, header_block));
  EXPECT_FALSE(f.mut.splice_text(header_block, 0, 0, "x")) << "a header block is not a body block";
  EXPECT_EQ(materialize_region(f.doc, f.model, Region::Body).blocks[0].text, "body zero");
}

TEST(Blocks, TombstonedBlocksDisappearFromEveryReader) {
  Fresh f;
  auto a = f.para("keep");
  auto b = f.para("gone", a);
  ASSERT_TRUE(f.mut.tombstone_block_in(Region::Body, b));
  EXPECT_EQ(blocks_in_order(f.doc, f.model), std::vector<std::string>{a});
  EXPECT_EQ(block_text(f.doc, f.model, b), std::nullopt);
  EXPECT_FALSE(block_obj(f.doc, f.model, b));
  EXPECT_FALSE(f.mut.splice_text(b, 0, 0, "x"));
  size_t before = f.doc.pending_ops();
  ASSERT_TRUE(f.mut.tombstone_block_in(Region::Body, b)) << "tombstoning twice is harmless";
  EXPECT_EQ(f.doc.pending_ops(), before);
  // Inserting after a tombstoned block still places the new block where it stood.
  auto c = f.para("after the gone one", b);
  EXPECT_EQ(blocks_in_order(f.doc, f.model), (std::vector<std::string>{a, c}));
}

TEST(Blocks, OffsetsCountCharactersAndBadWritesChangeNothing) {
  Fresh f;
  auto a = f.para("h\xC3\xA9llo w\xC3\xB6rld \xF0\x9F\x99\x82!");  // héllo wörld 🙂!
  ASSERT_TRUE(f.mut.splice_text(a, 6, 5, "W\xC3\x96RLD"));
  EXPECT_EQ(block_text(f.doc, f.model, a), "h\xC3\xA9llo W\xC3\x96RLD \xF0\x9F\x99\x82!");
  ASSERT_TRUE(f.mut.splice_text(a, 13, 1, "?"));  // the final "!" is character 13
  EXPECT_EQ(block_text(f.doc, f.model, a), "h\xC3\xA9llo W\xC3\x96RLD \xF0\x9F\x99\x82?");

  struct Bad {
    const char* what;
    Result<void> r;
  };
  size_t before = f.doc.pending_ops();
  for (auto& [what, r] : std::vector<Bad>{
           {"offset past the end", f.mut.splice_text(a, 15, 0, "x")},
           {"delete past the end", f.mut.splice_text(a, 10, 5, "")},
           {"unknown block", f.mut.splice_text("nope", 0, 0, "x")},
           {"mark past the end", f.mut.set_mark_in(Region::Body, a, 3, 99, "bold", true)},
           {"empty mark", f.mut.set_mark_in(Region::Body, a, 3, 3, "bold", true)},
           {"kind of unknown block", f.mut.set_kind("nope", "heading")},
           {"text that is not UTF-8", f.mut.splice_text(a, 0, 0, "\xFF\xFE")},
       }) {
    EXPECT_FALSE(r) << what;
  }
  EXPECT_FALSE(f.mut.insert_block(std::string_view("nope"), "paragraph"));
  EXPECT_EQ(f.doc.pending_ops(), before);
}

TEST(Blocks, KindsAndAttributesAreWrittenOnlyWhenTheyDiffer) {
  Fresh f;
  auto a = f.para("title");
  ASSERT_TRUE(f.mut.set_kind(a, "heading"));
  ASSERT_TRUE(f.mut.set_attr_in(Region::Body, a, "level", int64_t{2}));
  ASSERT_TRUE(f.mut.set_attr_in(Region::Body, a, "align", std::string("center")));
  size_t before = f.doc.pending_ops();
  ASSERT_TRUE(f.mut.set_kind(a, "heading"));
  ASSERT_TRUE(f.mut.set_attr_in(Region::Body, a, "level", int64_t{2}));
  EXPECT_EQ(f.doc.pending_ops(), before);

  const auto s = f.snap();
  const auto& b = s.body().blocks[0];
  EXPECT_EQ(b.kind, "heading");
  EXPECT_EQ(b.attr_int("level"), 2);
  EXPECT_EQ(b.attr_f64("level"), 2.0);
  EXPECT_EQ(b.attr_str("align"), "center");
  EXPECT_EQ(b.attr_str("level"), std::nullopt) << "a mistyped attribute reads as nothing";
  EXPECT_EQ(b.attr_bool("missing"), std::nullopt);
}

TEST(Marks, SetReadAndRemove) {
  Fresh f;
  auto a = f.para("bold and linked");
  ASSERT_TRUE(f.mut.set_mark_in(Region::Body, a, 0, 4, "bold", true));
  ASSERT_TRUE(f.mut.set_mark_in(Region::Body, a, 9, 15, "link", std::string("https://example.org")));
  size_t before = f.doc.pending_ops();
  ASSERT_TRUE(f.mut.set_mark_in(Region::Body, a, 1, 3, "bold", true)) << "already bold: nothing to write";
  EXPECT_EQ(f.doc.pending_ops(), before);

  auto marks = f.snap().body().blocks[0].marks;
  EXPECT_EQ(marks, (std::vector<MarkSpan>{{0, 4, "bold", MarkValue::Bool(true)},
                                          {9, 15, "link", MarkValue::Str("https://example.org")}}));
  ASSERT_TRUE(f.mut.remove_mark(a, 0, 2, "bold"));
  ASSERT_TRUE(f.mut.remove_mark(a, 0, 15, "italic")) << "removing an absent mark is harmless";
  marks = f.snap().body().blocks[0].marks;
  EXPECT_EQ(marks.front(), (MarkSpan{2, 4, "bold", MarkValue::Bool(true)}));
}

TEST(Staging, StagedWritesWaitForFlushAndCoalesce) {
  Fresh f;
  auto a = f.para("abcdefgh");
  f.ids.set_staging(true);
  size_t before = f.doc.pending_ops();
  ASSERT_TRUE(f.mut.stage_attr(a, "align", std::string("left")));
  ASSERT_TRUE(f.mut.stage_attr(a, "align", std::string("right")));
  ASSERT_TRUE(f.mut.stage_mark(Region::Body, a, 0, 3, "bold", true));
  ASSERT_TRUE(f.mut.stage_mark(Region::Body, a, 3, 6, "bold", true));
  EXPECT_FALSE(f.mut.stage_mark(Region::Body, a, 6, 60, "bold", true)) << "checked when staged";
  EXPECT_FALSE(f.mut.stage_attr("nope", "align", std::string("left")));
  EXPECT_EQ(f.doc.pending_ops(), before) << "nothing is written before the flush";
  EXPECT_EQ(f.mut.staged_count(), 2u) << "one attribute, one coalesced mark";
  EXPECT_TRUE(f.snap().body().blocks[0].attrs.empty());

  ASSERT_TRUE(f.mut.flush_staged());
  const auto b = f.snap().body().blocks[0];
  EXPECT_EQ(b.attr_str("align"), "right");
  EXPECT_EQ(b.marks, (std::vector<MarkSpan>{{0, 6, "bold", MarkValue::Bool(true)}}));

  f.ids.set_staging(false);
  ASSERT_TRUE(f.mut.stage_attr(a, "align", std::string("center")));
  EXPECT_EQ(f.snap().body().blocks[0].attr_str("align"), "center") << "without staging it writes at once";
}

TEST(Styles, TombstonesHideStylesButKeepTheirIds) {
  Fresh f;
  ASSERT_TRUE(f.mut.set_style("note", Attrs{{"name", std::string("Note")}, {"italic", true}}));
  ASSERT_TRUE(f.mut.set_style("quote", Attrs{{"bold", true}}));
  EXPECT_EQ(std::get<bool>(f.snap().style("quote")->props.at("bold")), true);
  EXPECT_EQ(std::get<bool>(f.snap().style("quote")->props.at("italic")), true) << "other properties stay";

  ASSERT_TRUE(f.mut.tombstone_style("note"));
  EXPECT_EQ(f.snap().style("note"), nullptr);
  auto ids = style_ids(f.doc, f.model);
  EXPECT_TRUE(std::find(ids.begin(), ids.end(), "note") != ids.end());
  EXPECT_TRUE(style_is_tombstoned(f.doc, f.model, "note"));
  EXPECT_FALSE(style_is_tombstoned(f.doc, f.model, "quote"));
  EXPECT_FALSE(f.mut.set_style("note", Attrs{{"bold", true}})) << "a deleted style stays deleted";
  for (auto builtin : kBuiltinStyles) EXPECT_FALSE(f.mut.tombstone_style(builtin)) << builtin;
  EXPECT_FALSE(f.mut.tombstone_style("never-was"));
}

TEST(Parts, FieldsNotesBookmarksAndMetadata) {
  Fresh f;
  auto a = f.para("Page  of the body");
  auto footer = f.para("Page ", std::nullopt, Region::Footer);
  ASSERT_TRUE(f.mut.insert_page_number_field(Region::Footer, footer, 5));
  ASSERT_TRUE(f.mut.set_bookmark("intro", a, 4));
  ASSERT_TRUE(f.mut.set_bookmark("gone", a, 0));
  ASSERT_TRUE(f.mut.remove_bookmark("gone"));
  EXPECT_FALSE(f.mut.set_bookmark("far", a, 99));
  std::vector<std::string> pieces{"See", "the appendix"};
  auto note = f.mut.insert_note("1", pieces);
  ASSERT_TRUE(note);
  ASSERT_TRUE(f.mut.set_meta_str("title", "Report"));
  size_t before = f.doc.pending_ops();
  ASSERT_TRUE(f.mut.set_meta_str("title", "Report"));
  EXPECT_EQ(f.doc.pending_ops(), before);

  auto s = f.snap();
  ASSERT_EQ(s.fields.size(), 1u);
  EXPECT_EQ(s.fields[0].region, Region::Footer);
  EXPECT_EQ(s.fields[0].offset, 5u);
  EXPECT_EQ(s.fields[0].kind, "page-number");
  EXPECT_EQ(s.region(Region::Footer).blocks[0].text, "Page \xEF\xBF\xBC");
  ASSERT_EQ(s.bookmarks.size(), 1u);
  EXPECT_EQ(s.bookmarks[0].name, "intro");
  EXPECT_EQ(s.bookmarks[0].offset, 4u);
  ASSERT_EQ(s.notes.size(), 1u);
  EXPECT_EQ(s.notes[0].marker, "1");
  EXPECT_EQ(s.notes[0].pieces, pieces);
  EXPECT_EQ(s.meta.at("title"), "Report");
}

TEST(Ids, UniqueAcrossActorsAndGeneratorsAndSafeInResourceIds) {
  Fresh alice("alice");
  auto bob_doc = alice.doc.fork(crdt::ActorId::from_string("bob"));
  std::set<std::string> seen;
  auto gen_a1 = seeded_id_gen(alice.doc, alice.model);
  auto gen_b = seeded_id_gen(bob_doc, alice.model);
  for (int i = 0; i < 100; ++i) {
    EXPECT_TRUE(seen.insert(gen_a1.mint()).second);
    EXPECT_TRUE(seen.insert(gen_b.mint()).second);
  }
  // A generator seeded after a write never repeats an earlier one's ids.
  alice.para("a write");
  auto gen_a2 = seeded_id_gen(alice.doc, alice.model);
  alice.doc.commit();
  auto gen_a3 = seeded_id_gen(alice.doc, alice.model);
  IdGen fresh("616c696365");
  for (int i = 0; i < 100; ++i)
    for (auto* g : {&gen_a2, &gen_a3, &fresh}) EXPECT_TRUE(seen.insert(g->mint()).second);
  for (const auto& id : seen) EXPECT_EQ(id.find_first_of(":# "), std::string::npos) << id;
}

TEST(Reading, MissingAndMistypedValuesAreTolerated) {
  Fresh f;
  auto good = f.para("good");
  auto odd = f.para("odd", good);
  // Write what a careless peer might: a number in the order list, an id without a block, a kind
  // that is not a text, a text held as a plain string, attributes that are not a map.
  auto& d = f.doc;
  const auto& body = *f.model.region(Region::Body);
  ASSERT_TRUE(d.insert(body.order, 0, int64_t{7}));
  ASSERT_TRUE(d.insert(body.order, 0, std::string("ghost")));
  auto bmap = *block_obj(d, f.model, odd);
  ASSERT_TRUE(d.put(bmap, key::kind, int64_t{3}));
  ASSERT_TRUE(d.put(bmap, key::attrs, std::string("nope")));
  auto plain = *d.put_object(body.blocks, "plain", crdt::ObjType::Map);
  ASSERT_TRUE(d.put(plain, key::text, std::string("plain string")));
  ASSERT_TRUE(d.insert(body.order, d.length(body.order), std::string("plain")));
  ASSERT_TRUE(d.insert(body.order, d.length(body.order), std::string(good)));  // a duplicate

  auto s = f.snap();
  ASSERT_EQ(s.body().blocks.size(), 3u);
  EXPECT_EQ(s.body().blocks[0].id, good);
  EXPECT_EQ(s.body().blocks[1].kind, "paragraph");
  EXPECT_TRUE(s.body().blocks[1].attrs.empty());
  EXPECT_EQ(s.body().blocks[2].text, "plain string");
  EXPECT_EQ(block_text(d, f.model, "plain"), "plain string");
  // A writer upgrades the plain string to a text object, keeping its text.
  ASSERT_TRUE(f.mut.splice_text("plain", 12, 0, "!"));
  EXPECT_EQ(block_text(d, f.model, "plain"), "plain string!");
}

}  // namespace
}  // namespace pelto::model
