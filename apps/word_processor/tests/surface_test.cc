// The resource tree, its encoders and the door round trip, on real documents.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "apps/word_processor/executor.h"
#include "apps/word_processor/surface.h"
#include "apps/word_processor/tests/fixture.h"
#include "interfaces/actions/door.h"
#include "interfaces/docmodel/blobstore.h"

namespace pelto::word_processor {
namespace {

using actions::Resource;
using testing::TestDoc;
using ::testing::ElementsAre;

const Resource* find(const Resource& r, std::string_view id) {
  if (r.id == id) return &r;
  for (const auto& c : r.children)
    if (const Resource* f = find(c, id)) return f;
  return nullptr;
}
std::vector<std::string> action_ids(const Resource& r) {
  std::vector<std::string> out;
  for (const auto& a : r.actions) out.push_back(a.id);
  return out;
}
const actions::ActionSpec* action(const Resource& r, std::string_view id) {
  for (const auto& a : r.actions)
    if (a.id == id) return &a;
  return nullptr;
}
actions::Encoded encode(const actions::ActionSpec& spec, nlohmann::json args = nlohmann::json::object()) {
  auto bound = actions::ActionArgs::bind_json(spec.parameters, args);
  if (!bound) return std::unexpected(actions::ActionError("bind", bound.error().display()));
  return (*spec.encoder)(*bound);
}
WordProcessorAction decoded(const actions::Encoded& e) {
  if (!e) throw std::runtime_error(e.error().display());
  if (e->operation_type != kActionType) throw std::runtime_error("not an edit: " + e->operation_type);
  auto a = action_from_json(e->payload);
  if (!a) throw std::runtime_error(a.error().display());
  return *a;
}

TEST(Preview, SquashesTrimsAndShortens) {
  const std::pair<std::string, std::string> cases[] = {
      {"  a \n\t b  ", "a b"},
      {"   ", "Fallback"},
      {std::string(48, 'x'), std::string(48, 'x')},
      {std::string(49, 'x'), std::string(45, 'x') + "…"},
      {std::string(60, 'x'), std::string(45, 'x') + "…"},
      {"\u00a0é\u2003è", "é è"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(preview(in, "Fallback"), out) << in;
}

class Surface : public ::testing::Test {
 protected:
  Surface() {
    p1 = d.add("paragraph", "hello world");
    p2 = d.add("paragraph", "second");
    h1 = d.add("heading", "  Intro   part ");
    d.commit();
  }
  Resource tree() { return resource_tree(d.doc(), view); }
  TestDoc d;
  ViewState view;
  std::string p1, p2, h1;
};

TEST_F(Surface, RootOperationsAndEditsInOrder) {
  view.caret_block = p1;
  Resource root = tree();
  EXPECT_EQ(root.id, "word-processor.document");
  EXPECT_EQ(root.kind, "word_processor.document");
  EXPECT_EQ(root.label, "Document");
  EXPECT_THAT(action_ids(root),
              ElementsAre("open", "save", "save-as", "find", "zoom-in", "zoom-out", "zoom-reset", "spellcheck",
                          "markup", "styles", "ruler", "outline", "history", "insert-table", "place-image",
                          "insert-page-break", "align-left", "align-center", "align-right", "align-justify"));
  auto zoom = encode(*action(root, "zoom-in"));
  ASSERT_TRUE(zoom);
  EXPECT_EQ(zoom->operation_type, kOperationType);
  EXPECT_EQ(zoom->payload["operation"], "zoom-in");
  auto save_as = encode(*action(root, "save-as"), {{"path", "/tmp/x.doc"}});
  ASSERT_TRUE(save_as);
  EXPECT_EQ(save_as->payload["arguments"]["path"], "/tmp/x.doc");
  EXPECT_EQ(action(root, "save-as")->input_summary, "path (omit to use the system file picker)");
  EXPECT_EQ(decoded(encode(*action(root, "insert-table"))), WordProcessorAction(act::InsertTable{p1, 2, 2}));
  // Review, styles and the heading's section follow; no search, selection, notes or images.
  std::vector<std::string> kids;
  for (const auto& c : root.children) kids.push_back(c.id);
  EXPECT_THAT(kids, ElementsAre("word-processor.review", "word-processor.revisions", "word-processor.styles",
                                "word-processor.section:" + h1));
  EXPECT_EQ(find(root, "word-processor.section:" + h1)->label, "Intro part");
}

TEST_F(Surface, SearchListsSixtyFourHits) {
  for (int i = 0; i < 65; ++i) view.search_hits.push_back({p1, 0, 5});
  view.search_hits[1] = {"gone", 0, 1};
  Resource root = tree();
  const Resource* results = find(root, "word-processor.search-results");
  ASSERT_TRUE(results);
  ASSERT_EQ(results->children.size(), 64u);
  EXPECT_EQ(results->children[0].label, "Result: hello");
  EXPECT_EQ(results->children[0].id, "word-processor.search-hit:" + p1 + ":0:5");
  EXPECT_EQ(results->children[1].label, "Result 2");
  EXPECT_THAT(action_ids(results->children[0]), ElementsAre("go-to"));
}

TEST_F(Surface, SelectionAcrossTwoBlocksOffersReplaceButNoComment) {
  view.selection = ViewState::Selection{p1, p2, 6, 3, Region::Body};
  view.selected_spans = {{p1, 6, 11}, {p2, 0, 3}};
  Resource root = tree();
  const Resource* sel = find(root, fmt::format("word-processor.selection:{}:6:{}:3", p1, p2));
  ASSERT_TRUE(sel);
  EXPECT_EQ(sel->label, "Current selection");
  EXPECT_THAT(action_ids(*sel), ElementsAre("replace"));
  EXPECT_TRUE(action(root, "set-hyperlink"));
  EXPECT_TRUE(action(root, "replace-selection"));
  EXPECT_EQ(decoded(encode(*action(*sel, "replace"), {{"text", "X"}})),
            WordProcessorAction(act::ReplaceSelection{Region::Body, p1, 6, p2, 3, "X"}));
  auto absent = (*action(*sel, "replace")->encoder)(actions::ActionArgs());
  ASSERT_FALSE(absent);
  EXPECT_EQ(absent.error().message(), "replacement text is required");
  EXPECT_EQ(absent.error().code(), actions::kInvalidArguments);
  // The hyperlink goes on the selected spans, its target trimmed.
  EXPECT_EQ(decoded(encode(*action(root, "set-hyperlink"), {{"target", "  https://example.org "}})),
            WordProcessorAction(act::SetMark{Region::Body, view.selected_spans, "link",
                                             MarkValue::Str("https://example.org"), {}}));
  auto unsafe = encode(*action(root, "set-hyperlink"), {{"target", "http://example.org"}});
  ASSERT_FALSE(unsafe);
  EXPECT_EQ(unsafe.error().message(), "hyperlink target must use https:, mailto:, or #bookmark");
}

TEST_F(Surface, SelectionInOneBlockOffersComment) {
  view.selection = ViewState::Selection{p1, p1, 0, 5, Region::Body};
  Resource root = tree();
  const Resource* sel = find(root, fmt::format("word-processor.selection:{}:0:{}:5", p1, p1));
  ASSERT_TRUE(sel);
  EXPECT_THAT(action_ids(*sel), ElementsAre("replace", "add-comment"));
  EXPECT_FALSE(action(root, "set-hyperlink"));  // no spans selected
  EXPECT_EQ(decoded(encode(*action(*sel, "add-comment"), {{"author", "Ana"}, {"text", "Hm"}})),
            WordProcessorAction(act::AddComment{p1, 0, 5, "Ana", "", "Hm"}));
  auto blank = encode(*action(*sel, "add-comment"), {{"author", "  "}, {"text", "Hm"}});
  ASSERT_FALSE(blank);
  EXPECT_EQ(blank.error().message(), "comment author is required and comment text is too long");
}

TEST_F(Surface, EmptyOrHeaderSelectionOffersNoComment) {
  view.selection = ViewState::Selection{p1, p1, 3, 3, Region::Body};
  EXPECT_THAT(action_ids(tree().children.front()), ElementsAre("replace"));
  view.selection = ViewState::Selection{p1, p1, 0, 3, Region::Header};
  EXPECT_THAT(action_ids(tree().children.front()), ElementsAre("replace"));
}

TEST_F(Surface, CommentsRepliesAndChangesUnderReview) {
  std::string c = d.comment(p1, 0, 5, "   ", std::string(60, 'c'));
  std::string r = d.reply(c, "Ben", "");
  std::string ch = d.insertion(p2, 0, "new ", "");
  Resource root = tree();
  const Resource* review = find(root, "word-processor.review");
  ASSERT_TRUE(review);
  EXPECT_THAT(action_ids(*review), ElementsAre("accept-all", "reject-all"));
  ASSERT_EQ(review->children.size(), 2u);
  const Resource& comment = review->children[0];
  EXPECT_EQ(comment.id, "word-processor.comment:" + c);
  EXPECT_EQ(comment.label, "Comment by Unknown author: " + std::string(45, 'c') + "…");
  EXPECT_THAT(action_ids(comment), ElementsAre("resolve", "go-to-anchor"));
  ASSERT_EQ(comment.children.size(), 1u);
  EXPECT_EQ(comment.children[0].id, fmt::format("word-processor.comment-reply:{}:{}", c, r));
  EXPECT_EQ(comment.children[0].label, "Reply by Ben: Empty reply");
  auto reply = encode(*action(comment.children[0], "reply"), {{"author", "Cy"}, {"text", "ok"}});
  EXPECT_EQ(decoded(reply), WordProcessorAction(act::ReplyToComment{c, "Cy", "", "ok"}));
  auto bad = encode(*action(comment.children[0], "reply"), {{"author", ""}, {"text", "ok"}});
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().message(), "reply author is required and reply text is too long");
  const Resource& change = review->children[1];
  EXPECT_EQ(change.id, "word-processor.change:" + ch);
  EXPECT_EQ(change.label, "Insertion by Unknown author");
  EXPECT_EQ(decoded(encode(*action(change, "accept"))), WordProcessorAction(act::AcceptChanges{ch}));
}

TEST_F(Surface, BuiltInStylesCannotBeDeleted) {
  d.style("custom", {{"bold", true}, {"name", "My style"}});
  d.attr(p2, "style", std::string("custom"));
  Resource root = tree();
  const Resource* quote = find(root, "word-processor.style:quote");
  ASSERT_TRUE(quote);
  EXPECT_THAT(action_ids(*quote), ElementsAre("toggle-bold"));
  EXPECT_EQ(quote->actions[0].label, "Make bold");
  const Resource* custom = find(root, "word-processor.style:custom");
  ASSERT_TRUE(custom);
  EXPECT_EQ(custom->label, "My style");
  EXPECT_THAT(action_ids(*custom), ElementsAre("toggle-bold", "delete"));
  EXPECT_EQ(custom->actions[0].label, "Remove bold");
  EXPECT_EQ(custom->actions[1].risk, actions::Risk::Destructive);
  EXPECT_EQ(decoded(encode(custom->actions[1])), WordProcessorAction(act::DeleteStyle{"custom", {p2}}));
}

TEST_F(Surface, ImagesAndTables) {
  std::string img = d.add("image", "");
  d.attr(img, "crop_left", int64_t{8250});
  d.attr(img, "crop_right", int64_t{250});
  std::string t = d.table(2, 3);
  Resource root = tree();
  const Resource* image = find(root, "word-processor.image:" + img);
  ASSERT_TRUE(image);
  EXPECT_THAT(action_ids(*image),
              ElementsAre("delete", "crop-inset", "reset-crop", "free-position", "flow-left", "flow-right"));
  EXPECT_EQ(decoded(encode(*action(*image, "crop-inset"))),
            WordProcessorAction(act::SetImageCrop{img, 8500, 250, 500, 250}));
  d.attr(img, "crop_left", int64_t{8251});
  EXPECT_THAT(action_ids(*find(tree(), "word-processor.image:" + img)),
              ElementsAre("delete", "reset-crop", "free-position", "flow-left", "flow-right"));
  const Resource* table = find(root, "word-processor.table:" + t);
  ASSERT_TRUE(table);
  EXPECT_THAT(action_ids(*table), ElementsAre("append-row", "append-column", "delete"));
  EXPECT_EQ(decoded(encode(*action(*table, "append-row"))),
            WordProcessorAction(act::EditTable{t, {table_edit::InsertRow{2}}}));
  ASSERT_EQ(table->children.size(), 6u);
  EXPECT_EQ(table->children[5].label, "Cell 2, 3");
  EXPECT_EQ(decoded(encode(*action(table->children[5], "delete-column"))),
            WordProcessorAction(act::EditTable{t, {table_edit::DeleteColumn{2}}}));
}

TEST_F(Surface, HundredRevisionsListTheLastSixtyFour) {
  for (int i = 0; i < 100; ++i) {
    model::DocMut mut = d.mutation();
    ASSERT_TRUE(mut.splice_text(p2, 0, 0, "x"));
    d.doc().commit({.message = i == 99 ? std::optional<std::string>("  last   edit ") : std::nullopt, .time_ms = i});
  }
  Resource root = tree();
  const Resource* revisions = find(root, "word-processor.revisions");
  ASSERT_TRUE(revisions);
  EXPECT_EQ(revisions->label, "Revision history");
  ASSERT_EQ(revisions->children.size(), 64u);
  EXPECT_EQ(revisions->children[0].label, "Revision 1");
  EXPECT_EQ(revisions->children[62].label, "Revision 63");
  EXPECT_EQ(revisions->children[63].label, "last edit");
  auto changes = d.doc().changes();
  EXPECT_EQ(revisions->children[63].id, "word-processor.revision:" + changes.back().hash.hex());
  EXPECT_EQ(revisions->children[0].id, "word-processor.revision:" + changes[changes.size() - 64].hash.hex());
}

TEST(SurfaceUnopened, OnlyTheRootOperationsAndEdits) {
  crdt::Document doc;
  ViewState view;
  view.selection = ViewState::Selection{"a", "a", 0, 1, Region::Body};
  Resource root = resource_tree(doc, view);
  EXPECT_EQ(root.actions.size(), 15u);  // 13 operations, insert-table, replace-selection
  ASSERT_EQ(root.children.size(), 1u);
  EXPECT_EQ(root.children[0].kind, "word_processor.selection");
}

TEST_F(Surface, PlaceImageNeedsStoredContent) {
  view.caret_block = p1;
  view.caret_offset = 5;
  Resource root = tree();
  std::string missing(64, 'a');
  auto refused = encode(*action(root, "place-image"), {{"content hash", missing}});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message(), "content `" + missing + "` is not available on this machine");
  std::vector<uint8_t> bytes = {1, 2, 3, 4};
  auto hash = blobstore::put(bytes);
  ASSERT_TRUE(hash);
  EXPECT_EQ(decoded(encode(*action(root, "place-image"), {{"content hash", *hash}})),
            WordProcessorAction(act::InsertImage{p1, 5, bytes, std::nullopt, std::nullopt}));
}

TEST_F(Surface, EditsGoThroughTheDoorToTheExecutor) {
  actions::ActionRegistry registry;
  ASSERT_TRUE(register_actions(registry));
  view.caret_block = h1;
  std::vector<Resource> trees = {tree()};
  auto descriptors = actions::door::survey(trees);
  auto it = std::find_if(descriptors.begin(), descriptors.end(), [&](const auto& d) {
    return d.resource_id == "word-processor.section:" + h1 && d.action_id == "align-center";
  });
  ASSERT_NE(it, descriptors.end());
  actions::LocalTransport transport;
  auto out = actions::door::invoke_json(d.doc(), trees, *it, nlohmann::json::object(), {}, registry, transport);
  ASSERT_TRUE(out) << out.error().display();
  EXPECT_EQ(d.block(h1).attr_str("align"), "center");
  // A stale target is refused by the executor and changes nothing.
  view.caret_block = "gone";
  trees = {tree()};
  descriptors = actions::door::survey(trees);
  auto table = std::find_if(descriptors.begin(), descriptors.end(), [](const auto& d) {
    return d.resource_id == "word-processor.document" && d.action_id == "insert-table";
  });
  ASSERT_NE(table, descriptors.end());
  size_t pending = d.doc().pending_ops();
  auto stale = actions::door::invoke_json(d.doc(), trees, *table, nlohmann::json::object(), {}, registry, transport);
  ASSERT_FALSE(stale);
  EXPECT_NE(stale.error().display().find(kActionRefused), std::string::npos) << stale.error().display();
  EXPECT_EQ(d.doc().pending_ops(), pending);
}

TEST(DenotesContent, OnlyADocumentWithTextOrImages) {
  crdt::Document blank;
  EXPECT_FALSE(denotes_content(blank));
  TestDoc d;
  d.add("paragraph", " \n ");
  EXPECT_FALSE(denotes_content(d.doc()));
  d.add("paragraph", "Head", Region::Header);
  EXPECT_FALSE(denotes_content(d.doc()));
  d.add("image", "");
  EXPECT_TRUE(denotes_content(d.doc()));
}

TEST(EditContext, NamesTheDocumentAndTheIds) {
  auto ctx = edit_context(act::ReplaceSelection{Region::Body, "b1", 0, "b2", 1, ""});
  EXPECT_EQ(ctx.action_label, "word-processor.edit");
  ASSERT_TRUE(ctx.app);
  EXPECT_EQ(ctx.app->label, "Word Processor");
  ASSERT_TRUE(ctx.resource);
  EXPECT_EQ(ctx.resource->id, "word-processor.document");
  ASSERT_EQ(ctx.facets.size(), 2u);
  EXPECT_EQ(ctx.facets[0], (actions::ActionFacet{"block", "b1"}));
  EXPECT_EQ(ctx.facets[1], (actions::ActionFacet{"block", "b2"}));
  auto review = edit_context(act::AcceptChanges{"c9"});
  ASSERT_EQ(review.facets.size(), 1u);
  EXPECT_EQ(review.facets[0], (actions::ActionFacet{"change", "c9"}));
}

}  // namespace
}  // namespace pelto::word_processor
