#include "apps/word_processor/surface.h"

#include <algorithm>
#include <memory>
#include <set>

#include "apps/word_processor/executor.h"
#include "apps/word_processor/limits.h"
#include "apps/word_processor/tables.h"
#include "apps/word_processor/text.h"
#include "interfaces/base/utf8.h"
#include "interfaces/docmodel/blobstore.h"
#include "interfaces/docmodel/history.h"
#include "interfaces/docmodel/read.h"
#include "interfaces/docmodel/schema.h"

namespace pelto::word_processor {
namespace {

using actions::ActionArgs;
using actions::ActionError;
using actions::ActionParam;
using actions::ActionSpec;
using actions::Encoded;
using actions::Resource;
using json = nlohmann::json;

constexpr std::string_view kUnknownAuthor = "Unknown author";

// An action producing an edit; "delete" and "remove" are marked destructive.
ActionSpec edit(std::string id, std::string label, std::function<Encoded(const ActionArgs&)> encode) {
  ActionSpec spec(id, std::move(label));
  spec = spec.with_encoder(std::move(encode)).with_contract({std::string(kActionType), {}});
  if (id == "delete" || id == "remove") spec = spec.destructive();
  return spec;
}
// An action whose edit is fixed when the tree is built.
ActionSpec fixed_edit(std::string id, std::string label, WordProcessorAction action) {
  return edit(std::move(id), std::move(label), [action = std::move(action)](const ActionArgs&) {
    return encode_action(action);
  });
}
// An application operation with fixed arguments.
ActionSpec operation(std::string id, std::string label, json arguments = json::object()) {
  ActionSpec spec(id, std::move(label));
  return spec
      .with_encoder([id, arguments = std::move(arguments)](const ActionArgs&) { return encode_operation(id, arguments); })
      .with_contract({std::string(kOperationType), {}})
      .with_permission(actions::Permission::Read);
}
std::unexpected<ActionError> invalid(std::string message) {
  return std::unexpected(ActionError::invalid_arguments(std::move(message)));
}

json span_args(const std::string& block, uint64_t start, uint64_t end) {
  return json{{"block", block}, {"start", start}, {"end", end}};
}

ActionSpec align(std::string id, std::string label, const std::string& block, std::string value) {
  return fixed_edit(std::move(id), std::move(label),
                    act::SetBlockAttr{Region::Body, {block}, "align", AttrValue::Str(std::move(value))});
}

// ---- steps 2 to 4: what needs no snapshot ----

void add_operations(Resource& root) {
  const std::pair<const char*, const char*> plain[] = {
      {"open", "Open document"},    {"save", "Save document"},  {"save-as", "Save document as"},
      {"find", "Find in document"}, {"zoom-in", "Zoom in"},     {"zoom-out", "Zoom out"},
      {"zoom-reset", "Reset zoom to 100%"}, {"spellcheck", "Toggle spellcheck"},
      {"markup", "Toggle review markup"},   {"styles", "Toggle styles panel"},
      {"ruler", "Toggle ruler"},            {"outline", "Toggle outline"},
      {"history", "Toggle history"},
  };
  for (const auto& [id, label] : plain) {
    if (std::string_view(id) != "save-as") {
      root.actions.push_back(operation(id, label));
      continue;
    }
    ActionSpec save_as(id, label);
    root.actions.push_back(
        save_as
            .with_param(ActionParam::text("path", "Direct filesystem path; omit to open the system file picker", false))
            .with_input_summary("path (omit to use the system file picker)")
            .with_encoder([](const ActionArgs& args) {
              json arguments = json::object();
              if (auto path = args.text("path")) arguments["path"] = *path;
              return encode_operation("save-as", arguments);
            })
            .with_contract({std::string(kOperationType), {}}));
  }
}

Encoded encode_replace(const ViewState::Selection& sel, const ActionArgs& args) {
  auto text = args.text("text");
  if (!text) return invalid("replacement text is required");
  return encode_action(act::ReplaceSelection{sel.region, sel.start_block, sel.start, sel.end_block, sel.end, *text});
}

void add_root_edits(Resource& root, const ViewState& view) {
  root.actions.push_back(fixed_edit("insert-table", "Insert table", act::InsertTable{view.caret_block, 2, 2}));
  if (!view.selected_spans.empty()) {
    Region region = view.selection ? view.selection->region : Region::Body;
    root.actions.push_back(
        edit("set-hyperlink", "Add or change hyperlink",
             [region, spans = view.selected_spans](const ActionArgs& args) -> Encoded {
               std::string target(utf8::trim(args.text("target").value_or("")));
               if (!is_hyperlink_target(target)) return invalid("hyperlink target must use https:, mailto:, or #bookmark");
               return encode_action(act::SetMark{region, spans, "link", MarkValue::Str(target), {}});
             })
            .with_description("Web URL (https://… or mailto:…) or #bookmark")
            .with_param(ActionParam::text("target", "A safe external URL, mail address, or document-local #bookmark target",
                                          true)));
  }
  if (view.selection) {
    root.actions.push_back(
        edit("replace-selection", "Replace selection",
             [sel = *view.selection](const ActionArgs& args) { return encode_replace(sel, args); })
            .with_description("Replacement text for the selected document range")
            .with_param(ActionParam::text("text", "Text that replaces the current selection (empty deletes it)", true)));
  }
}

void add_selection(Resource& root, const ViewState& view) {
  if (!view.selection) return;
  const auto& sel = *view.selection;
  Resource child(fmt::format("word-processor.selection:{}:{}:{}:{}", sel.start_block, sel.start, sel.end_block, sel.end),
                 "word_processor.selection", "Current selection");
  child.actions.push_back(edit("replace", "Replace selection", [sel](const ActionArgs& args) {
                            return encode_replace(sel, args);
                          })
                              .with_description("Replacement text for this exact selection")
                              .with_param(ActionParam::text("text", "Replacement text", true)));
  if (sel.region == Region::Body && sel.start_block == sel.end_block && sel.start < sel.end) {
    child.actions.push_back(
        edit("add-comment", "Add comment",
             [sel](const ActionArgs& args) -> Encoded {
               std::string author = args.text("author").value_or(""), text = args.text("text").value_or("");
               std::string date = args.text("date").value_or("");
               if (!passes_author_rule(author, date) || !within_text_limit(text))
                 return invalid("comment author is required and comment text is too long");
               return encode_action(act::AddComment{sel.start_block, sel.start, sel.end, author, date, text});
             })
            .with_description("Comment text and author for the selected text")
            .with_param(ActionParam::text("author", "Comment author", true))
            .with_param(ActionParam::text("text", "Comment text", true))
            .with_param(ActionParam::text("date", "ISO-8601 comment date", false)));
  }
  root.children.push_back(std::move(child));
}

// ---- steps 5 to 15: from the snapshot ----

void add_search(Resource& root, const ViewState& view, const model::Snapshot& snap) {
  if (view.search_hits.empty()) return;
  Resource results("word-processor.search-results", "word_processor.search-results", "Search results");
  size_t n = 0;
  for (const auto& hit : view.search_hits) {
    if (n == kMaxSearchResults) break;
    ++n;
    const model::Block* b = snap.body().find(hit.block);
    std::string label = b ? "Result: " + preview(text::char_slice(b->text, hit.start, hit.end), "Empty match")
                          : fmt::format("Result {}", n);
    Resource r(fmt::format("word-processor.search-hit:{}:{}:{}", hit.block, hit.start, hit.end),
               "word_processor.search-hit", std::move(label));
    r.actions.push_back(operation("go-to", "Go to result", span_args(hit.block, hit.start, hit.end)));
    results.children.push_back(std::move(r));
  }
  root.children.push_back(std::move(results));
}

void add_caret_edits(Resource& root, const ViewState& view) {
  root.actions.push_back(
      edit("place-image", "Place image",
           [block = view.caret_block, at = view.caret_offset](const ActionArgs& args) -> Encoded {
             std::string hash = args.text("content hash").value_or("");
             auto bytes = blobstore::get(hash);
             if (!bytes) return invalid(fmt::format("content `{}` is not available on this machine", hash));
             auto sniffed = blobstore::sniff(*bytes);
             act::InsertImage insert{block, at, std::move(*bytes), std::nullopt, std::nullopt};
             if (sniffed.width != 0) insert.width = sniffed.width;
             if (sniffed.height != 0) insert.height = sniffed.height;
             return encode_action(insert);
           })
          .with_description("Place the single content result of the immediately preceding action at the caret")
          .with_param(ActionParam::text("content hash", "Image content produced by the preceding action", true)));
  root.actions.push_back(fixed_edit("insert-page-break", "Insert page break",
                                    act::InsertPageBreak{Region::Body, view.caret_block, view.caret_offset}));
  root.actions.push_back(align("align-left", "Align left", view.caret_block, "left"));
  root.actions.push_back(align("align-center", "Align centre", view.caret_block, "center"));
  root.actions.push_back(align("align-right", "Align right", view.caret_block, "right"));
  root.actions.push_back(align("align-justify", "Justify", view.caret_block, "justify"));
}

Resource comment_resource(const model::Comment& c) {
  Resource r("word-processor.comment:" + c.id, "word_processor.comment",
             fmt::format("Comment by {}: {}", preview(c.author, kUnknownAuthor), preview(c.text(), "Empty comment")));
  r.actions.push_back(fixed_edit("resolve", "Resolve comment", act::ResolveComment{c.id}));
  r.actions.push_back(operation("go-to-anchor", "Go to commented text", json{{"comment", c.id}}));
  for (const auto& reply : c.replies) {
    Resource child(fmt::format("word-processor.comment-reply:{}:{}", c.id, reply.id), "word_processor.comment-reply",
                   fmt::format("Reply by {}: {}", preview(reply.author, kUnknownAuthor), preview(reply.text, "Empty reply")));
    child.actions.push_back(
        edit("reply", "Reply to comment",
             [comment = c.id](const ActionArgs& args) -> Encoded {
               std::string author = args.text("author").value_or(""), text = args.text("text").value_or("");
               std::string date = args.text("date").value_or("");
               if (!passes_author_rule(author, date) || !within_text_limit(text))
                 return invalid("reply author is required and reply text is too long");
               return encode_action(act::ReplyToComment{comment, author, date, text});
             })
            .with_param(ActionParam::text("author", "Reply author", true))
            .with_param(ActionParam::text("text", "Reply text", true))
            .with_param(ActionParam::text("date", "ISO-8601 reply date", false)));
    r.children.push_back(std::move(child));
  }
  return r;
}

void add_review(Resource& root, const model::Snapshot& snap) {
  Resource review("word-processor.review", "word_processor.review", "Review");
  review.actions.push_back(fixed_edit("accept-all", "Accept all changes", act::AcceptChanges{std::nullopt}));
  review.actions.push_back(fixed_edit("reject-all", "Reject all changes", act::RejectChanges{std::nullopt}));
  for (const auto& c : snap.comments) review.children.push_back(comment_resource(c));
  for (const auto& c : snap.changes) {
    Resource r("word-processor.change:" + c.id, "word_processor.change",
               fmt::format("{} by {}", c.kind == model::ChangeKind::Insertion ? "Insertion" : "Deletion",
                           preview(c.author, kUnknownAuthor)));
    r.actions.push_back(fixed_edit("accept", "Accept change", act::AcceptChanges{c.id}));
    r.actions.push_back(fixed_edit("reject", "Reject change", act::RejectChanges{c.id}));
    review.children.push_back(std::move(r));
  }
  root.children.push_back(std::move(review));
}

void add_revisions(Resource& root, const crdt::Document& doc) {
  auto versions = history::versions(doc);
  std::erase_if(versions, [](const history::Version& v) { return v.genesis; });
  if (versions.empty()) return;
  Resource revisions("word-processor.revisions", "word_processor.revisions", "Revision history");
  size_t first = versions.size() > kMaxRevisions ? versions.size() - kMaxRevisions : 0;
  for (size_t i = first, n = 1; i < versions.size(); ++i, ++n) {
    const auto& v = versions[i];
    std::string hash = v.hash.hex();
    std::string label = v.message ? preview(*v.message, "Revision") : fmt::format("Revision {}", n);
    Resource r("word-processor.revision:" + hash, "word_processor.revision", std::move(label));
    r.actions.push_back(operation("show", "Show revision", json{{"hash", hash}}));
    revisions.children.push_back(std::move(r));
  }
  root.children.push_back(std::move(revisions));
}

void add_notes_and_bookmarks(Resource& root, const model::Snapshot& snap) {
  if (!snap.notes.empty()) {
    Resource notes("word-processor.notes", "word_processor.notes", "Notes");
    for (const auto& n : snap.notes) {
      std::string joined;
      for (const auto& piece : n.pieces) joined += (joined.empty() ? "" : " ") + piece;
      notes.children.emplace_back("word-processor.note:" + n.id, "word_processor.note",
                                  fmt::format("{}: {}", n.marker, preview(joined, "Empty note")));
    }
    root.children.push_back(std::move(notes));
  }
  if (!snap.bookmarks.empty()) {
    Resource marks("word-processor.bookmarks", "word_processor.bookmarks", "Bookmarks");
    for (const auto& b : snap.bookmarks)
      marks.children.emplace_back("word-processor.bookmark:" + b.name, "word_processor.bookmark", b.name);
    root.children.push_back(std::move(marks));
  }
}

void add_styles(Resource& root, const model::Snapshot& snap) {
  Resource styles("word-processor.styles", "word_processor.styles", "Paragraph styles");
  for (const auto& s : snap.styles) {
    Resource r("word-processor.style:" + s.id, "word_processor.style", s.name());
    auto bold = s.props.find("bold");
    bool is_bold = bold != s.props.end() && bold->second == crdt::Scalar(true);
    r.actions.push_back(fixed_edit("toggle-bold", is_bold ? "Remove bold" : "Make bold",
                                   act::SetStyleProperty{s.id, "bold", AttrValue::Bool(!is_bold)}));
    if (!model::is_builtin_style(s.id)) {
      std::vector<std::string> users;
      for (const auto& b : snap.body().blocks)
        if (b.attr_str("style") == s.id) users.push_back(b.id);
      r.actions.push_back(fixed_edit("delete", "Delete style", act::DeleteStyle{s.id, std::move(users)}));
    }
    styles.children.push_back(std::move(r));
  }
  root.children.push_back(std::move(styles));
}

void add_image(Resource& root, const model::Block& b) {
  Resource r("word-processor.image:" + b.id, "word_processor.image", "Image");
  r.actions.push_back(fixed_edit("delete", "Delete image", act::RemoveBlocks{{b.id}}));
  int64_t left = b.attr_int("crop_left").value_or(0), top = b.attr_int("crop_top").value_or(0);
  int64_t right = b.attr_int("crop_right").value_or(0), bottom = b.attr_int("crop_bottom").value_or(0);
  if (left + right <= 8500 && top + bottom <= 8500)
    r.actions.push_back(fixed_edit("crop-inset", "Crop image by 5%",
                                   act::SetImageCrop{b.id, left + 250, top + 250, right + 250, bottom + 250}));
  if (left != 0 || top != 0 || right != 0 || bottom != 0)
    r.actions.push_back(fixed_edit("reset-crop", "Reset crop", act::SetImageCrop{b.id, 0, 0, 0, 0}));
  r.actions.push_back(fixed_edit("free-position", "Place freely on page",
                                 act::SetImagePlacement{b.id, "page", "none", 0, 0, 0}));
  r.actions.push_back(fixed_edit("flow-left", "Wrap text on right",
                                 act::SetImagePlacement{b.id, "paragraph", "left", 0, 0, 0}));
  r.actions.push_back(fixed_edit("flow-right", "Wrap text on left",
                                 act::SetImagePlacement{b.id, "paragraph", "right", 0, 0, 0}));
  root.children.push_back(std::move(r));
}

void add_table(Resource& root, const Table& t) {
  Resource r("word-processor.table:" + t.id, "word_processor.table", "Table");
  r.actions.push_back(fixed_edit("append-row", "Add row", act::EditTable{t.id, {table_edit::InsertRow{t.rows}}}));
  r.actions.push_back(
      fixed_edit("append-column", "Add column", act::EditTable{t.id, {table_edit::InsertColumn{t.cols}}}));
  r.actions.push_back(fixed_edit("delete", "Delete table", act::EditTable{t.id, {table_edit::Delete{}}}));
  for (const auto& cell : t.cells) {
    Resource c("word-processor.cell:" + cell.block, "word_processor.table-cell",
               fmt::format("Cell {}, {}", cell.row + 1, cell.col + 1));
    auto row = static_cast<uint64_t>(std::max<int64_t>(cell.row, 0));
    auto col = static_cast<uint64_t>(std::max<int64_t>(cell.col, 0));
    c.actions.push_back(fixed_edit("delete-row", "Delete row", act::EditTable{t.id, {table_edit::DeleteRow{row}}}));
    c.actions.push_back(
        fixed_edit("delete-column", "Delete column", act::EditTable{t.id, {table_edit::DeleteColumn{col}}}));
    c.actions.push_back(operation("go-to", "Go to cell", json{{"block", cell.block}}));
    r.children.push_back(std::move(c));
  }
  root.children.push_back(std::move(r));
}

void add_section(Resource& root, const model::Block& b) {
  Resource r("word-processor.section:" + b.id, "word_processor.section", preview(b.text, "Heading"));
  r.actions.push_back(align("align-left", "Align left", b.id, "left"));
  r.actions.push_back(align("align-center", "Align centre", b.id, "center"));
  r.actions.push_back(align("align-right", "Align right", b.id, "right"));
  root.children.push_back(std::move(r));
}

void add_facet(actions::ActionContext& ctx, std::string key, const std::string& value) {
  if (!value.empty()) ctx.facets.push_back({std::move(key), value});
}

}  // namespace

std::string preview(std::string_view text, std::string_view fallback) {
  std::string joined(utf8::trim(text::squash_spaces(text)));
  if (joined.empty()) return std::string(fallback);
  if (!text::at_most_chars(joined, 48)) return std::string(text::char_prefix(joined, 45)) + "…";
  return joined;
}

actions::Resource resource_tree(const crdt::Document& doc, const ViewState& view) {
  Resource root("word-processor.document", "word_processor.document", "Document");
  auto opened = model::open(doc);
  add_operations(root);
  add_root_edits(root, view);
  add_selection(root, view);
  if (!opened) return root;
  model::Snapshot snap = model::materialize(doc, *opened);
  add_search(root, view, snap);
  add_caret_edits(root, view);
  add_review(root, snap);
  add_revisions(root, doc);
  add_notes_and_bookmarks(root, snap);
  add_styles(root, snap);
  for (const auto& b : snap.body().blocks)
    if (b.kind == "image") add_image(root, b);
  for (const auto& t : body_tables(snap)) add_table(root, t);
  for (const auto& b : snap.body().blocks)
    if (b.kind == "heading") add_section(root, b);
  return root;
}

bool denotes_content(const crdt::Document& doc) {
  auto opened = model::open(doc);
  if (!opened) return false;
  auto body = model::materialize_region(doc, *opened, Region::Body);
  return std::any_of(body.blocks.begin(), body.blocks.end(),
                     [](const model::Block& b) { return b.kind == "image" || !utf8::trim(b.text).empty(); });
}

actions::Encoded encode_action(const WordProcessorAction& action) {
  json payload;
  try {
    payload = json::parse(to_json(action).dump());
  } catch (const std::exception& e) {
    return std::unexpected(ActionError::invalid_arguments(fmt::format("{}: {}", kActionType, e.what())));
  }
  return actions::resource::enforce_operation_type(kActionType, std::move(payload));
}

actions::Encoded encode_operation(std::string_view operation, json arguments) {
  return actions::resource::enforce_operation_type(
      kOperationType, json{{"operation", std::string(operation)}, {"arguments", std::move(arguments)}});
}

actions::ActionContext edit_context(const WordProcessorAction& action) {
  actions::ActionContext ctx;
  ctx.action_label = "word-processor.edit";
  ctx.app = actions::ActionApp{"word-processor", "Word Processor"};
  ctx.resource = actions::ActionResource{"word-processor.document", "word_processor.document", "Document"};
  std::visit(
      [&](const auto& a) {
        using A = std::decay_t<decltype(a)>;
        if constexpr (requires { a.block; }) add_facet(ctx, "block", a.block);
        if constexpr (requires { a.start_block; }) add_facet(ctx, "block", a.start_block);
        if constexpr (requires { a.end_block; }) {
          if (a.end_block != a.start_block) add_facet(ctx, "block", a.end_block);
        }
        if constexpr (requires { a.after; }) add_facet(ctx, "block", a.after);
        if constexpr (std::is_same_v<A, act::SetMark>) {
          std::set<std::string> seen;
          for (const auto& s : a.spans)
            if (seen.insert(s.block).second) add_facet(ctx, "block", s.block);
        }
        if constexpr (requires { a.blocks; }) {
          if constexpr (std::is_same_v<std::decay_t<decltype(a.blocks)>, std::vector<std::string>>)
            for (const auto& b : a.blocks) add_facet(ctx, "block", b);
        }
        if constexpr (requires { a.table; }) add_facet(ctx, "table", a.table);
        if constexpr (requires { a.style; }) add_facet(ctx, "style", a.style);
        if constexpr (requires { a.comment; }) add_facet(ctx, "comment", a.comment);
        if constexpr (std::is_same_v<A, act::ResolveComment>) add_facet(ctx, "comment", a.id);
        if constexpr (std::is_same_v<A, act::AcceptChanges> || std::is_same_v<A, act::RejectChanges>) {
          if (a.id) add_facet(ctx, "change", *a.id);
        }
        if constexpr (std::is_same_v<A, act::GenerateToc>)
          for (const auto& e : a.entries) add_facet(ctx, "heading", e.heading);
      },
      action);
  return ctx;
}

Result<void> register_actions(actions::ActionRegistry& registry) {
  return registry.add(std::string(kActionType),
                      [](crdt::Document& doc, const actions::ExecutionRequest& request) -> Result<actions::ExecutorAnswer> {
                        auto action = action_from_json(request.payload);
                        if (!action) return actions::ExecutorAnswer::refused(std::string(kActionRefused));
                        auto done = word_processor::apply(doc, *action);
                        if (done) return actions::ExecutorAnswer::done();
                        const std::string& message = done.error().message();
                        if (message == kActionRefused || message == kDocumentUnavailable)
                          return actions::ExecutorAnswer::refused(message);
                        return fail(std::move(done.error()));
                      });
}

}  // namespace pelto::word_processor
