#include "apps/word_processor/executor.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "apps/word_processor/limits.h"
#include "apps/word_processor/tables.h"
#include "apps/word_processor/text.h"
#include "interfaces/base/log.h"
#include "interfaces/base/utf8.h"
#include "interfaces/docmodel/ids.h"
#include "interfaces/docmodel/markdown.h"
#include "interfaces/docmodel/mutate.h"
#include "interfaces/docmodel/read.h"

namespace pelto::word_processor {
namespace {

using model::DocMut;

crdt::Scalar to_scalar(const AttrValue& v) {
  return std::visit([](const auto& x) { return crdt::Scalar(x); }, v.v);
}

// Where text goes next: a block and a character offset in it.
struct Point {
  std::string block;
  size_t offset = 0;
};

// The edits of one call, over one mutation handle.
class Editor {
 public:
  explicit Editor(DocMut& mut) : mut_(mut) {}

  // ---- region-aware setters ----

  Result<void> set_attr(Region region, std::string_view block, std::string_view key, crdt::Scalar value) {
    if (region == Region::Body && mut_.ids().stages_writes()) return mut_.stage_attr(block, key, std::move(value));
    return mut_.set_attr_in(region, block, key, std::move(value));
  }
  Result<void> set_mark(Region region, std::string_view block, size_t start, size_t end, std::string_view name,
                        crdt::Scalar value) {
    if (mut_.ids().stages_writes()) return mut_.stage_mark(region, block, start, end, name, std::move(value));
    return mut_.set_mark_in(region, block, start, end, name, std::move(value));
  }
  Result<void> remove_mark(Region region, std::string_view block, size_t start, size_t end, std::string_view name) {
    return mut_.remove_mark_in(region, block, start, end, name);
  }
  Result<void> set_kind(Region region, std::string_view block, std::string_view kind) {
    return mut_.set_kind_in(region, block, kind);
  }

  std::string region_text(Region region, std::string_view block) {
    if (region == Region::Body) return model::block_text(mut_.doc(), mut_.model(), block).value_or("");
    auto snap = model::materialize_region(mut_.doc(), mut_.model(), region);
    const model::Block* b = snap.find(block);
    return b ? b->text : std::string();
  }
  std::vector<std::string> order(Region region) {
    if (region == Region::Body) return model::blocks_in_order(mut_.doc(), mut_.model());
    return model::blocks_in_order_in(mut_.doc(), mut_.model(), region);
  }

  // Splits `block` at `at`: the characters after it move into a new block of `kind` inserted after
  // it. `before_tail` runs on the new block before the characters arrive. Gives the new block.
  Result<std::string> split(Region region, std::string_view block, size_t at, std::string_view kind,
                            const std::function<Result<void>(const std::string&)>& before_tail = {}) {
    std::string text = region_text(region, block);
    std::string tail(text::char_suffix(text, at));
    size_t tail_len = utf8::length(tail);
    if (tail_len > 0) PELTO_CHECK(mut_.splice_text_in(region, block, at, tail_len, ""), "cut the tail");
    PELTO_TRY(std::string fresh, mut_.insert_block_in(region, block, kind), "insert the split block");
    if (before_tail) PELTO_CHECK(before_tail(fresh), "prepare the split block");
    if (!tail.empty()) PELTO_CHECK(mut_.splice_text_in(region, fresh, 0, 0, tail), "move the tail");
    return fresh;
  }

  // Replaces (start block, start) to (end block, end) with `text`; gives the point after it.
  Result<Point> replace_range(Region region, const std::string& start_block, size_t start,
                              const std::string& end_block, size_t end, std::string_view text) {
    size_t ins_len = utf8::length(text);
    if (start_block == end_block) {
      PELTO_CHECK(mut_.splice_text_in(region, start_block, start, end - start, text), "replace in one block");
      return Point{start_block, start + ins_len};
    }
    auto ids = order(region);
    auto si = std::find(ids.begin(), ids.end(), start_block), ei = std::find(ids.begin(), ids.end(), end_block);
    if (si == ids.end() || ei == ids.end() || si > ei) return Point{start_block, start};
    std::string head_text = region_text(region, start_block);
    std::string tail(text::char_suffix(region_text(region, end_block), end));
    size_t start_len = utf8::length(head_text);
    PELTO_CHECK(mut_.splice_text_in(region, start_block, start, start_len - std::min(start, start_len), text),
                "replace the start block's end");
    if (!tail.empty())
      PELTO_CHECK(mut_.splice_text_in(region, start_block, start + ins_len, 0, tail), "join the end block's tail");
    for (auto it = si + 1; it <= ei; ++it)
      PELTO_CHECK(mut_.tombstone_block_in(region, *it), "remove a joined block");
    return Point{start_block, start + ins_len};
  }

  // ---- the variants ----

  Result<void> operator()(const act::SpliceText& a) {
    return mut_.splice_text_in(a.region, a.block, a.at, a.del, a.ins);
  }
  Result<void> operator()(const act::ReplaceSelection& a) {
    PELTO_TRY(auto point, replace_range(a.region, a.start_block, a.start, a.end_block, a.end, a.ins), "replace");
    (void)point;
    return {};
  }
  Result<void> operator()(const act::SetMark& a) {
    for (const auto& s : a.spans) {
      for (const auto& name : a.also_clear) PELTO_CHECK(remove_mark(a.region, s.block, s.start, s.end, name), name);
      PELTO_CHECK(remove_mark(a.region, s.block, s.start, s.end, a.name), a.name);
      if (a.value) PELTO_CHECK(set_mark(a.region, s.block, s.start, s.end, a.name, a.value->to_scalar()), a.name);
    }
    return {};
  }
  Result<void> level_and_order(Region region, std::string_view block, const std::optional<int64_t>& level,
                               const std::optional<bool>& ordered) {
    if (level) PELTO_CHECK(set_attr(region, block, "level", *level), "level");
    if (ordered) PELTO_CHECK(set_attr(region, block, "ordered", *ordered), "ordered");
    return {};
  }
  Result<void> operator()(const act::SetParagraphStyle& a) {
    for (const auto& b : a.blocks) {
      PELTO_CHECK(set_kind(a.region, b, a.kind), "kind");
      PELTO_CHECK(level_and_order(a.region, b, a.level, a.ordered), b);
    }
    return {};
  }
  Result<void> operator()(const act::ApplyNamedStyle& a) {
    for (const auto& b : a.blocks) {
      if (a.kind) PELTO_CHECK(set_kind(a.region, b, *a.kind), "kind");
      PELTO_CHECK(level_and_order(a.region, b, a.level, a.ordered), b);
      PELTO_CHECK(set_attr(a.region, b, "style", a.style), "style");
    }
    return {};
  }
  Result<void> operator()(const act::SetBlockAttr& a) {
    for (const auto& b : a.blocks) PELTO_CHECK(set_attr(a.region, b, a.key, to_scalar(a.value)), a.key);
    return {};
  }
  Result<void> operator()(const act::SetPageMargins& a) {
    const std::pair<std::string_view, double> margins[] = {{"page_margin_top", a.top},
                                                           {"page_margin_right", a.right},
                                                           {"page_margin_bottom", a.bottom},
                                                           {"page_margin_left", a.left}};
    // fmt writes the shortest text that reads back as the same number, without ".0".
    for (const auto& [key, value] : margins) PELTO_CHECK(mut_.set_meta_str(key, fmt::format("{}", value)), key);
    return {};
  }
  Result<void> operator()(const act::SetStyleProperty& a) {
    return mut_.set_style(a.style, model::Attrs{{a.key, to_scalar(a.value)}});
  }
  Result<void> operator()(const act::DeleteStyle& a) {
    for (const auto& b : a.fallback_blocks) PELTO_CHECK(set_attr(Region::Body, b, "style", std::string()), b);
    return mut_.tombstone_style(a.style);
  }
  Result<void> operator()(const act::SetImageCrop& a) {
    const std::pair<std::string_view, int64_t> insets[] = {
        {"crop_left", a.left}, {"crop_top", a.top}, {"crop_right", a.right}, {"crop_bottom", a.bottom}};
    for (const auto& [key, value] : insets) PELTO_CHECK(set_attr(Region::Body, a.block, key, value), key);
    return {};
  }
  Result<void> operator()(const act::SetImageSize& a) {
    PELTO_CHECK(set_attr(Region::Body, a.block, "width", a.width), "width");
    return set_attr(Region::Body, a.block, "height", a.height);
  }
  Result<void> operator()(const act::SetImagePlacement& a) {
    PELTO_CHECK(set_attr(Region::Body, a.block, "anchor", a.anchor), "anchor");
    PELTO_CHECK(set_attr(Region::Body, a.block, "wrap", a.wrap), "wrap");
    PELTO_CHECK(set_attr(Region::Body, a.block, "offset_x", a.x), "offset_x");
    PELTO_CHECK(set_attr(Region::Body, a.block, "offset_y", a.y), "offset_y");
    return set_attr(Region::Body, a.block, "page", a.page);
  }
  Result<std::string> new_cell(std::optional<std::string> after, const std::string& table, int64_t row,
                               int64_t col) {
    PELTO_TRY(std::string cell, mut_.insert_block(after ? std::optional<std::string_view>(*after) : std::nullopt,
                                                  "cell"),
              "insert a cell");
    PELTO_CHECK(set_attr(Region::Body, cell, "table", table), "table");
    PELTO_CHECK(set_attr(Region::Body, cell, "row", row), "row");
    PELTO_CHECK(set_attr(Region::Body, cell, "col", col), "col");
    return cell;
  }
  Result<void> operator()(const act::InsertTable& a) {
    std::string table = mut_.ids().mint();
    std::optional<std::string> prev = a.after;
    for (uint64_t r = 0; r < a.rows; ++r)
      for (uint64_t c = 0; c < a.cols; ++c) {
        PELTO_TRY(prev, new_cell(prev, table, static_cast<int64_t>(r), static_cast<int64_t>(c)), "table");
      }
    return {};
  }
  // The body block just before `block`, or none at the start.
  std::optional<std::string> block_before(const std::vector<std::string>& body, std::string_view block) {
    auto it = std::find(body.begin(), body.end(), block);
    if (it == body.end() || it == body.begin()) return std::nullopt;
    return *(it - 1);
  }
  Result<void> operator()(const act::EditTable& a) {
    auto snap = model::materialize(mut_.doc(), mut_.model());
    Table t = table_cells(snap, a.table);
    if (t.cells.empty()) return {};
    auto body = model::blocks_in_order(mut_.doc(), mut_.model());
    auto cell_at = [&](int64_t r, int64_t c) -> const TableCell* {
      for (const auto& cell : t.cells)
        if (cell.row == r && cell.col == c) return &cell;
      return nullptr;
    };
    return std::visit(
        [&](const auto& e) -> Result<void> {
          using E = std::decay_t<decltype(e)>;
          if constexpr (std::is_same_v<E, table_edit::InsertRow>) {
            auto r = static_cast<int64_t>(e.at);
            for (const auto& cell : t.cells)
              if (cell.row >= r) PELTO_CHECK(set_attr(Region::Body, cell.block, "row", cell.row + 1), "shift a row");
            std::optional<std::string> prev;
            if (r == 0) {
              prev = block_before(body, t.cells.front().block);
            } else {
              for (const auto& cell : t.cells)
                if (cell.row == r - 1) prev = cell.block;
            }
            for (uint64_t c = 0; c < t.cols; ++c) {
              PELTO_TRY(prev, new_cell(prev, a.table, r, static_cast<int64_t>(c)), "new row");
            }
            return {};
          } else if constexpr (std::is_same_v<E, table_edit::InsertColumn>) {
            auto c = static_cast<int64_t>(e.at);
            for (const auto& cell : t.cells)
              if (cell.col >= c) PELTO_CHECK(set_attr(Region::Body, cell.block, "col", cell.col + 1), "shift a column");
            for (uint64_t r = 0; r < t.rows; ++r) {
              auto row = static_cast<int64_t>(r);
              std::optional<std::string> prev;
              if (c == 0) {
                if (const TableCell* first = cell_at(row, 0)) prev = block_before(body, first->block);
              } else if (const TableCell* left = cell_at(row, c - 1)) {
                prev = left->block;
              }
              PELTO_TRY(auto cell, new_cell(prev, a.table, row, c), "new column");
              (void)cell;
            }
            return {};
          } else if constexpr (std::is_same_v<E, table_edit::DeleteRow>) {
            auto r = static_cast<int64_t>(e.row);
            for (const auto& cell : t.cells) {
              if (cell.row == r) PELTO_CHECK(mut_.tombstone_block(cell.block), "remove a cell");
              else if (cell.row > r) PELTO_CHECK(set_attr(Region::Body, cell.block, "row", cell.row - 1), "shift a row");
            }
            return {};
          } else if constexpr (std::is_same_v<E, table_edit::DeleteColumn>) {
            auto c = static_cast<int64_t>(e.column);
            for (const auto& cell : t.cells) {
              if (cell.col == c) PELTO_CHECK(mut_.tombstone_block(cell.block), "remove a cell");
              else if (cell.col > c) PELTO_CHECK(set_attr(Region::Body, cell.block, "col", cell.col - 1), "shift a column");
            }
            return {};
          } else {
            for (const auto& cell : t.cells) PELTO_CHECK(mut_.tombstone_block(cell.block), "remove a cell");
            return {};
          }
        },
        a.edit.v);
  }
  Result<void> operator()(const act::InsertImage& a) {
    // The bytes are stored first: when that fails nothing else has been written.
    PELTO_TRY(std::string hash, mut_.put_blob(a.bytes), "store the image");
    std::string text = region_text(Region::Body, a.block);
    std::string tail(text::char_suffix(text, a.at));
    size_t tail_len = utf8::length(tail);
    if (tail_len > 0) PELTO_CHECK(mut_.splice_text(a.block, a.at, tail_len, ""), "cut the tail");
    PELTO_TRY(std::string image, mut_.insert_block(a.block, "image"), "insert the image");
    PELTO_CHECK(set_attr(Region::Body, image, "blob", hash), "blob");
    if (a.width) PELTO_CHECK(set_attr(Region::Body, image, "width", *a.width), "width");
    if (a.height) PELTO_CHECK(set_attr(Region::Body, image, "height", *a.height), "height");
    PELTO_TRY(std::string after, mut_.insert_block(image, "paragraph"), "insert the paragraph after the image");
    if (!tail.empty()) PELTO_CHECK(mut_.splice_text(after, 0, 0, tail), "move the tail");
    return {};
  }
  Result<void> operator()(const act::InsertPageBreak& a) {
    PELTO_TRY(std::string fresh, split(a.region, a.block, a.at, "paragraph"), "page break");
    return set_attr(a.region, fresh, "page_break_before", true);
  }
  Result<void> operator()(const act::SplitBlock& a) {
    PELTO_TRY(auto fresh, split(a.region, a.block, a.at, a.kind, [&](const std::string& block) -> Result<void> {
                if (a.ordered) return set_attr(a.region, block, "ordered", *a.ordered);
                return {};
              }),
              "split");
    (void)fresh;
    return {};
  }
  Result<void> operator()(const act::InsertField& a) {
    return mut_.insert_page_number_field(a.region, a.block, a.at);
  }
  Result<void> operator()(const act::GenerateToc& a) {
    auto snap = model::materialize(mut_.doc(), mut_.model());
    for (const auto& b : snap.body().blocks)
      if (b.attr_bool("toc") == true) PELTO_CHECK(mut_.tombstone_block(b.id), "remove the old contents");
    std::optional<std::string> prev;
    for (const auto& e : a.entries) {
      PELTO_TRY(std::string line, mut_.insert_block(prev ? std::optional<std::string_view>(*prev) : std::nullopt,
                                                    "paragraph"),
                "insert a contents line");
      PELTO_CHECK(set_attr(Region::Body, line, "toc", true), "toc");
      PELTO_CHECK(set_attr(Region::Body, line, "toc_level", e.level), "toc_level");
      PELTO_CHECK(set_attr(Region::Body, line, "toc_heading", e.heading), "toc_heading");
      std::string text;
      for (int64_t i = 1; i < e.level; ++i) text += "  ";
      text += utf8::trim(e.text);
      if (e.page) text += fmt::format(" .......... {}", *e.page);
      if (!text.empty()) PELTO_CHECK(mut_.splice_text(line, 0, 0, text), "contents text");
      prev = std::move(line);
    }
    return {};
  }
  Result<void> operator()(const act::PasteFragment& a) {
    PELTO_TRY(Point at, replace_range(a.region, a.start_block, a.start, a.end_block, a.end, ""), "clear the range");
    for (size_t i = 0; i < a.blocks.size(); ++i) {
      const ClipBlock& clip = a.blocks[i];
      if (i > 0) {
        PELTO_TRY(at.block, split(a.region, at.block, at.offset, "paragraph"), "start a pasted block");
        at.offset = 0;
      }
      if (!clip.text.empty()) PELTO_CHECK(mut_.splice_text_in(a.region, at.block, at.offset, 0, clip.text), "paste");
      for (const auto& m : clip.marks)
        PELTO_CHECK(set_mark(a.region, at.block, at.offset + m.start, at.offset + m.end, m.name, m.value.to_scalar()),
                    m.name);
      if (i > 0 || a.adopt_first_style) {
        PELTO_CHECK(set_kind(a.region, at.block, clip.kind), "kind");
        PELTO_CHECK(level_and_order(a.region, at.block, clip.level, clip.ordered), "clip style");
        if (clip.align) PELTO_CHECK(set_attr(a.region, at.block, "align", *clip.align), "align");
      }
      at.offset += utf8::length(clip.text);
    }
    return {};
  }
  Result<void> operator()(const act::InsertParagraph& a) {
    PELTO_TRY(std::string fresh, mut_.insert_block(a.after, "paragraph"), "insert a paragraph");
    if (!a.text.empty()) PELTO_CHECK(mut_.splice_text(fresh, 0, 0, a.text), "paragraph text");
    return {};
  }
  Result<void> operator()(const act::RemoveBlocks& a) {
    std::set<std::string_view> done;  // a block named twice is removed once
    for (const auto& b : a.blocks)
      if (done.insert(b).second) PELTO_CHECK(mut_.tombstone_block(b), "remove a block");
    return {};
  }
  Result<void> operator()(const act::ReplaceBody& a) {
    for (const auto& b : model::blocks_in_order(mut_.doc(), mut_.model()))
      PELTO_CHECK(mut_.tombstone_block(b), "clear the body");
    PELTO_TRY(size_t written, model::FormatProvider::import(a.markdown, mut_), "import the markdown");
    (void)written;
    return {};
  }
  // Every open change, in the document order of where it sits (then by offset, then by id).
  std::vector<std::string> changes_in_order() {
    auto ids = model::change_ids(mut_.doc(), mut_.model());
    auto body = model::blocks_in_order(mut_.doc(), mut_.model());
    std::map<std::string_view, size_t> index;
    for (size_t i = 0; i < body.size(); ++i) index.emplace(body[i], i);
    struct Keyed {
      size_t block, offset;
      std::string id;
    };
    std::vector<Keyed> keyed;
    for (auto& id : ids) {
      auto range = model::change_range(mut_.doc(), mut_.model(), id);
      size_t block = body.size(), offset = 0;
      if (range) {
        if (auto it = index.find(range->block); it != index.end()) block = it->second;
        offset = range->start;
      }
      keyed.push_back({block, offset, std::move(id)});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& x, const Keyed& y) {
      return std::tie(x.block, x.offset) < std::tie(y.block, y.offset);
    });
    std::vector<std::string> out;
    for (auto& k : keyed) out.push_back(std::move(k.id));
    return out;
  }
  Result<void> review(const std::optional<std::string>& id, bool accept) {
    auto one = [&](std::string_view change) { return accept ? mut_.accept_change(change) : mut_.reject_change(change); };
    if (id) return one(*id);
    for (const auto& change : changes_in_order()) PELTO_CHECK(one(change), change);
    return {};
  }
  Result<void> operator()(const act::AcceptChanges& a) { return review(a.id, true); }
  Result<void> operator()(const act::RejectChanges& a) { return review(a.id, false); }
  Result<void> operator()(const act::ResolveComment& a) {
    // Read what the comment holds before it is tombstoned: afterwards it reads as gone.
    auto range = model::comment_range(mut_.doc(), mut_.model(), a.id);
    auto replies = model::comment_reply_ids(mut_.doc(), mut_.model(), a.id);
    for (const auto& reply : replies) PELTO_CHECK(mut_.remove_comment_reply(a.id, reply), "remove a reply");
    if (range && range->start < range->end)
      PELTO_CHECK(mut_.remove_mark(range->block, range->start, range->end, model::mark::comment), "remove the anchor");
    return mut_.tombstone_comment(a.id);
  }
  Result<void> operator()(const act::AddComment& a) {
    PELTO_TRY(std::string id, mut_.insert_comment(a.author, a.date), "new comment");
    PELTO_TRY(std::string first, mut_.insert_comment_block(id, std::nullopt, "paragraph"), "comment block");
    if (!a.text.empty()) PELTO_CHECK(mut_.splice_comment_text(id, first, 0, 0, a.text), "comment text");
    return mut_.add_comment_mark(a.block, a.start, a.end, id);
  }
  Result<void> operator()(const act::ReplyToComment& a) {
    PELTO_TRY(auto reply, mut_.add_comment_reply(a.comment, a.author, a.date, a.text), "reply");
    (void)reply;
    return {};
  }

 private:
  DocMut& mut_;
};

}  // namespace

Result<void> apply(crdt::Document& doc, const WordProcessorAction& action) {
  auto opened = model::open(doc);
  if (!opened) {
    log::debug("word_processor", "document unavailable", {{"reason", opened.error().message()}});
    return fail(std::string(kDocumentUnavailable));
  }
  model::Model model = std::move(*opened);
  model::Snapshot snapshot = model::materialize(doc, model);
  if (auto checked = check_safe_limits(snapshot, doc, model, action); !checked) {
    log::debug("word_processor", "action refused",
              {{"action", variant_name(action)}, {"reason", checked.error().display()}});
    return fail(std::string(kActionRefused));
  }
  model::IdGen ids = model::seeded_id_gen(doc, model);
  DocMut mut(doc, model, ids);
  Editor editor(mut);
  auto done = std::visit(editor, action);
  if (done && ids.stages_writes()) done = mut.flush_staged();
  if (!done) return fail(std::move(done.error()).context(fmt::format("perform {}", variant_name(action))));
  return {};
}

}  // namespace pelto::word_processor
