#include "apps/word_processor/limits.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>

#include <uriparser/Uri.h>

#include "apps/word_processor/tables.h"
#include "apps/word_processor/text.h"
#include "interfaces/docmodel/schema.h"

namespace pelto::word_processor {
namespace {

using model::Block;
using model::Snapshot;

std::string_view range_text(const UriTextRangeA& r) {
  if (!r.first || !r.afterLast) return {};
  return {r.first, static_cast<size_t>(r.afterLast - r.first)};
}

bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool is_safe_url(std::string_view target) {
  UriUriA uri;
  const char* error_pos = nullptr;
  if (uriParseSingleUriExA(&uri, target.data(), target.data() + target.size(), &error_pos) != URI_SUCCESS)
    return false;
  std::string_view scheme = range_text(uri.scheme);
  bool ok = false;
  if (iequals(scheme, "https")) {
    ok = !range_text(uri.hostText).empty() && range_text(uri.userInfo).empty();
  } else if (iequals(scheme, "mailto")) {
    for (const UriPathSegmentA* seg = uri.pathHead; seg && !ok; seg = seg->next)
      ok = range_text(seg->text).find('@') != std::string_view::npos;
  }
  uriFreeUriMembersA(&uri);
  return ok;
}

bool is_bookmark_name(std::string_view name) {
  // A bookmark name is an identifier of fewer than 128 bytes.
  return name.size() < kIdentifierMaxBytes && is_identifier(name);
}

template <class T>
bool in_range(T v, T lo, T hi) {
  return v >= lo && v <= hi;
}
bool finite_in(double v, double lo, double hi) { return std::isfinite(v) && v >= lo && v <= hi; }

bool is_align(std::string_view s) { return s == "left" || s == "center" || s == "right" || s == "justify"; }

// The attribute pairs SetBlockAttr may write.
bool block_attr_pair_ok(std::string_view key, const AttrValue& value) {
  const auto* b = std::get_if<bool>(&value.v);
  const auto* i = std::get_if<int64_t>(&value.v);
  const auto* f = std::get_if<double>(&value.v);
  const auto* s = std::get_if<std::string>(&value.v);
  if (key == "align") return s && is_align(*s);
  if (key == "page_break_before" || key == "flip_h" || key == "flip_v") return b;
  if (key == "indent" || key == "line_spacing") return f && finite_in(*f, 0.0, 10000.0);
  if (key == "first_line_indent") return f && finite_in(*f, -10000.0, 10000.0);
  if (key == "tab_stops" || key == "style") return s && s->size() <= 4096 && utf8::is_valid(*s);
  if (key == "width" || key == "height") return i && in_range<int64_t>(*i, 1, 100'000);
  return false;
}

bool is_hex_color(std::string_view s) {
  return s.size() == 7 && s[0] == '#' && std::all_of(s.begin() + 1, s.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

// The style properties SetStyleProperty may write.
bool style_pair_ok(std::string_view key, const AttrValue& value) {
  const auto* b = std::get_if<bool>(&value.v);
  const auto* f = std::get_if<double>(&value.v);
  const auto* s = std::get_if<std::string>(&value.v);
  if (key == "name") return s && utf8::is_valid(*s) && text::at_most_chars(*s, 256);
  if (key == "font") return s && (*s == "sans" || *s == "serif" || *s == "mono");
  if (key == "size") return f && finite_in(*f, 6.0, 200.0);
  if (key == "bold" || key == "italic") return b;
  if (key == "color") return s && is_hex_color(*s);
  if (key == "align") return s && is_align(*s);
  if (key == "space_before" || key == "space_after" || key == "indent") return f && finite_in(*f, 0.0, 10000.0);
  return false;
}

// The rules below name the condition that failed; the message is for logs and tests.
struct Checker {
  const Snapshot& snap;
  const crdt::Document& doc;
  const model::Model& model;

  const Block* block_in(Region region, std::string_view id) const { return snap.region(region).find(id); }
  const Block* body_block(std::string_view id) const { return snap.body().find(id); }
  static size_t length(const Block& b) { return utf8::length(b.text); }

  Result<void> need(bool ok, std::string_view rule) const {
    if (!ok) return fail(std::string(rule));
    return {};
  }
  Result<void> text_ok(std::string_view s, std::string_view what) const {
    return need(within_text_limit(s), fmt::format("{} is over the text limit or not UTF-8", what));
  }
  Result<void> block_of(Region region, std::string_view id) const {
    return need(block_in(region, id) != nullptr, fmt::format("block {} is not in the {}", id,
                                                             model::region_key(region)));
  }
  Result<void> offset_in(Region region, std::string_view id, uint64_t at) const {
    const Block* b = block_in(region, id);
    if (!b) return block_of(region, id);
    return need(at <= length(*b), "offset is past the end of the block");
  }
  Result<void> range_in(Region region, std::string_view start_block, uint64_t start, std::string_view end_block,
                        uint64_t end) const {
    const auto& r = snap.region(region);
    auto si = r.index_of(start_block), ei = r.index_of(end_block);
    if (!si || !ei) return fail("range blocks are not in the region");
    if (*si > *ei) return fail("range starts after it ends");
    if (start > length(r.blocks[*si]) || end > length(r.blocks[*ei])) return fail("range offset past its block");
    if (*si == *ei && start > end) return fail("range starts after it ends");
    return {};
  }
  Result<void> blocks_of(Region region, const std::vector<std::string>& ids) const {
    for (const auto& id : ids)
      if (!block_in(region, id)) return block_of(region, id);
    return {};
  }
  Result<void> level_ok(const std::optional<int64_t>& level) const {
    return need(!level || in_range<int64_t>(*level, 0, 9), "level is outside 0 to 9");
  }
  Result<void> image_block(std::string_view id) const {
    const Block* b = body_block(id);
    return need(b && b->kind == "image", "not an image block");
  }
  Result<void> link_value(const std::optional<MarkValue>& value) const {
    if (!value) return {};
    const auto* s = std::get_if<std::string>(&value->v);
    return need(s && is_hyperlink_target(*s), "link target is not a safe hyperlink");
  }
  Result<void> mark_value(std::string_view name, const std::optional<MarkValue>& value) const {
    if (name == "link") return link_value(value);
    if (value)
      if (const auto* s = std::get_if<std::string>(&value->v)) return text_ok(*s, "mark value");
    return {};
  }

  Result<void> operator()(const act::SpliceText& a) const {
    const Block* b = block_in(a.region, a.block);
    if (!b) return block_of(a.region, a.block);
    size_t len = length(*b);
    PELTO_CHECK(need(a.at <= len && a.del <= len - a.at, "splice is past the end of the block"), "SpliceText");
    return text_ok(a.ins, "inserted text");
  }
  Result<void> operator()(const act::ReplaceSelection& a) const {
    PELTO_CHECK(range_in(a.region, a.start_block, a.start, a.end_block, a.end), "ReplaceSelection");
    return text_ok(a.ins, "inserted text");
  }
  Result<void> operator()(const act::SetMark& a) const {
    PELTO_CHECK(need(is_identifier(a.name), "mark name is not an identifier"), "SetMark");
    for (const auto& n : a.also_clear) PELTO_CHECK(need(is_identifier(n), "cleared mark is not an identifier"), "SetMark");
    PELTO_CHECK(need(in_range<size_t>(a.spans.size(), 1, kMaxSpans), "span count is outside 1 to 10000"), "SetMark");
    for (const auto& s : a.spans) {
      const Block* b = block_in(a.region, s.block);
      if (!b) return block_of(a.region, s.block);
      PELTO_CHECK(need(s.start < s.end && s.end <= length(*b), "span is empty or past its block"), "SetMark");
    }
    return mark_value(a.name, a.value);
  }
  Result<void> operator()(const act::SetParagraphStyle& a) const {
    PELTO_CHECK(blocks_of(a.region, a.blocks), "SetParagraphStyle");
    PELTO_CHECK(need(is_identifier(a.kind), "kind is not an identifier"), "SetParagraphStyle");
    return level_ok(a.level);
  }
  Result<void> operator()(const act::ApplyNamedStyle& a) const {
    PELTO_CHECK(blocks_of(a.region, a.blocks), "ApplyNamedStyle");
    PELTO_CHECK(need(in_range<size_t>(a.style.size(), 1, kIdentifierMaxBytes), "style is not 1 to 128 bytes"),
                "ApplyNamedStyle");
    PELTO_CHECK(need(!a.kind || is_identifier(*a.kind), "kind is not an identifier"), "ApplyNamedStyle");
    return level_ok(a.level);
  }
  Result<void> operator()(const act::SetBlockAttr& a) const {
    PELTO_CHECK(blocks_of(a.region, a.blocks), "SetBlockAttr");
    return need(block_attr_pair_ok(a.key, a.value), "attribute key and value are not an accepted pair");
  }
  Result<void> operator()(const act::SetPageMargins& a) const {
    for (double m : {a.top, a.right, a.bottom, a.left})
      PELTO_CHECK(need(finite_in(m, 4.0, 10000.0), "margin is outside 4 to 10000"), "SetPageMargins");
    return {};
  }
  Result<void> operator()(const act::SetStyleProperty& a) const {
    PELTO_CHECK(need(is_identifier(a.style), "style is not an identifier"), "SetStyleProperty");
    PELTO_CHECK(need(!model::style_is_tombstoned(doc, model, a.style), "style is deleted"), "SetStyleProperty");
    return need(style_pair_ok(a.key, a.value), "style key and value are not an accepted pair");
  }
  Result<void> operator()(const act::DeleteStyle& a) const {
    PELTO_CHECK(need(is_identifier(a.style), "style is not an identifier"), "DeleteStyle");
    PELTO_CHECK(need(!model::is_builtin_style(a.style), "built-in styles cannot be deleted"), "DeleteStyle");
    auto ids = model::style_ids(doc, model);
    PELTO_CHECK(need(std::find(ids.begin(), ids.end(), a.style) != ids.end(), "no such style"), "DeleteStyle");
    for (const auto& id : a.fallback_blocks) {
      const Block* b = body_block(id);
      PELTO_CHECK(need(b && b->attr_str("style") == a.style, "fallback block does not use the style"),
                  "DeleteStyle");
    }
    return {};
  }
  Result<void> operator()(const act::SetImageCrop& a) const {
    PELTO_CHECK(image_block(a.block), "SetImageCrop");
    for (int64_t v : {a.left, a.top, a.right, a.bottom})
      PELTO_CHECK(need(in_range<int64_t>(v, 0, kCropTotal), "inset is outside 0 to 9500"), "SetImageCrop");
    return need(a.left + a.right <= kCropTotal && a.top + a.bottom <= kCropTotal, "insets add up past 9500");
  }
  Result<void> operator()(const act::SetImageSize& a) const {
    PELTO_CHECK(image_block(a.block), "SetImageSize");
    return need(in_range<int64_t>(a.width, 16, 100'000) && in_range<int64_t>(a.height, 16, 100'000),
                "size is outside 16 to 100000");
  }
  Result<void> operator()(const act::SetImagePlacement& a) const {
    PELTO_CHECK(image_block(a.block), "SetImagePlacement");
    PELTO_CHECK(need(a.anchor == "inline" || a.anchor == "paragraph" || a.anchor == "page", "unknown anchor"),
                "SetImagePlacement");
    PELTO_CHECK(need(a.wrap == "none" || a.wrap == "left" || a.wrap == "right" || a.wrap == "both", "unknown wrap"),
                "SetImagePlacement");
    return need(in_range<int64_t>(a.x, -100'000, 100'000) && in_range<int64_t>(a.y, -100'000, 100'000) &&
                    in_range<int64_t>(a.page, 0, 10'000),
                "position is out of range");
  }
  Result<void> operator()(const act::InsertTable& a) const {
    PELTO_CHECK(block_of(Region::Body, a.after), "InsertTable");
    return need(in_range<uint64_t>(a.rows, 1, kMaxTableSide) && in_range<uint64_t>(a.cols, 1, kMaxTableSide),
                "table size is outside 1 to 100");
  }
  Result<void> operator()(const act::EditTable& a) const {
    PELTO_CHECK(need(!a.table.empty(), "table id is empty"), "EditTable");
    auto grid = table_grid(snap, a.table);
    PELTO_CHECK(need(grid.has_value(), "the table's cells do not form a full grid"), "EditTable");
    uint64_t rows = grid->rows, cols = grid->cols;
    return std::visit(
        [&](const auto& e) -> Result<void> {
          using E = std::decay_t<decltype(e)>;
          if constexpr (std::is_same_v<E, table_edit::InsertRow>)
            return need(e.at <= rows && rows < kMaxTableSide, "row insert is out of range");
          else if constexpr (std::is_same_v<E, table_edit::InsertColumn>)
            return need(e.at <= cols && cols < kMaxTableSide, "column insert is out of range");
          else if constexpr (std::is_same_v<E, table_edit::DeleteRow>)
            return need(e.row < rows, "no such row");
          else if constexpr (std::is_same_v<E, table_edit::DeleteColumn>)
            return need(e.column < cols, "no such column");
          else
            return {};
        },
        a.edit.v);
  }
  Result<void> operator()(const act::InsertImage& a) const {
    PELTO_CHECK(offset_in(Region::Body, a.block, a.at), "InsertImage");
    PELTO_CHECK(need(in_range<size_t>(a.bytes.size(), 1, kMaxImageBytes), "image size is out of range"),
                "InsertImage");
    return need((!a.width || in_range<int64_t>(*a.width, 1, 100'000)) &&
                    (!a.height || in_range<int64_t>(*a.height, 1, 100'000)),
                "image dimensions are outside 1 to 100000");
  }
  Result<void> operator()(const act::InsertPageBreak& a) const { return offset_in(a.region, a.block, a.at); }
  Result<void> operator()(const act::SplitBlock& a) const {
    PELTO_CHECK(offset_in(a.region, a.block, a.at), "SplitBlock");
    return need(a.kind == "paragraph" || a.kind == "list_item", "split kind is not paragraph or list_item");
  }
  Result<void> operator()(const act::InsertField& a) const {
    PELTO_CHECK(offset_in(a.region, a.block, a.at), "InsertField");
    return need(a.field == model::mark::page_number, "unknown field");
  }
  Result<void> operator()(const act::GenerateToc& a) const {
    PELTO_CHECK(need(in_range<size_t>(a.entries.size(), 1, kMaxTocEntries), "entry count is outside 1 to 10000"),
                "GenerateToc");
    std::unordered_set<std::string_view> seen;
    for (const auto& e : a.entries) {
      PELTO_CHECK(need(seen.insert(e.heading).second, "two entries name the same heading"), "GenerateToc");
      PELTO_CHECK(need(in_range<int64_t>(e.level, 1, 9), "entry level is outside 1 to 9"), "GenerateToc");
      PELTO_CHECK(text_ok(e.text, "entry text"), "GenerateToc");
      PELTO_CHECK(need(!e.page || *e.page <= 100'000, "entry page is past 100000"), "GenerateToc");
      const Block* b = body_block(e.heading);
      PELTO_CHECK(need(b && b->kind == "heading", "entry does not name a heading"), "GenerateToc");
    }
    return {};
  }
  Result<void> operator()(const act::PasteFragment& a) const {
    PELTO_CHECK(range_in(a.region, a.start_block, a.start, a.end_block, a.end), "PasteFragment");
    PELTO_CHECK(need(in_range<size_t>(a.blocks.size(), 1, kMaxClipBlocks), "clip count is outside 1 to 10000"),
                "PasteFragment");
    for (const auto& c : a.blocks) {
      PELTO_CHECK(text_ok(c.text, "clip text"), "PasteFragment");
      PELTO_CHECK(need(is_identifier(c.kind), "clip kind is not an identifier"), "PasteFragment");
      PELTO_CHECK(level_ok(c.level), "PasteFragment");
      size_t len = utf8::length(c.text);
      for (const auto& m : c.marks) {
        PELTO_CHECK(need(is_identifier(m.name), "clip mark is not an identifier"), "PasteFragment");
        PELTO_CHECK(need(m.start < m.end && m.end <= len, "clip mark is empty or past its text"), "PasteFragment");
        // A pasted link is held to the same rule as one set directly.
        PELTO_CHECK(mark_value(m.name, m.value), "PasteFragment");
      }
    }
    return {};
  }
  Result<void> operator()(const act::InsertParagraph& a) const {
    PELTO_CHECK(block_of(Region::Body, a.after), "InsertParagraph");
    return text_ok(a.text, "paragraph text");
  }
  Result<void> operator()(const act::RemoveBlocks& a) const { return blocks_of(Region::Body, a.blocks); }
  Result<void> operator()(const act::ReplaceBody& a) const { return text_ok(a.markdown, "markdown"); }
  Result<void> operator()(const act::AcceptChanges& a) const {
    return need(!a.id || snap.change(*a.id), "no such tracked change");
  }
  Result<void> operator()(const act::RejectChanges& a) const {
    return need(!a.id || snap.change(*a.id), "no such tracked change");
  }
  Result<void> operator()(const act::ResolveComment& a) const {
    return need(!a.id.empty() && snap.comment(a.id), "no such comment");
  }
  Result<void> operator()(const act::AddComment& a) const {
    const Block* b = body_block(a.block);
    if (!b) return block_of(Region::Body, a.block);
    PELTO_CHECK(need(a.start < a.end && a.end <= length(*b), "comment range is empty or past its block"),
                "AddComment");
    PELTO_CHECK(need(passes_author_rule(a.author, a.date), "author or date breaks the author rule"), "AddComment");
    return text_ok(a.text, "comment text");
  }
  Result<void> operator()(const act::ReplyToComment& a) const {
    PELTO_CHECK(need(snap.comment(a.comment) != nullptr, "no such comment"), "ReplyToComment");
    PELTO_CHECK(need(passes_author_rule(a.author, a.date), "author or date breaks the author rule"),
                "ReplyToComment");
    return text_ok(a.text, "reply text");
  }
};

}  // namespace

bool within_text_limit(std::string_view s) { return text::at_most_chars(s, kTextLimit) && utf8::is_valid(s); }

bool is_identifier(std::string_view name) {
  if (name.empty() || name.size() > kIdentifierMaxBytes) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
  });
}

bool is_hyperlink_target(std::string_view target) {
  if (target.empty() || !utf8::is_valid(target) || !text::at_most_chars(target, kMaxLinkChars)) return false;
  if (utf8::trim(target).size() != target.size()) return false;
  if (target.front() == '#') return is_bookmark_name(target.substr(1));
  return is_safe_url(target);
}

bool passes_author_rule(std::string_view author, std::string_view date) {
  std::string_view trimmed = utf8::trim(author);
  return !trimmed.empty() && text::at_most_chars(trimmed, kMaxAuthorChars) && utf8::is_valid(author) &&
         text::at_most_chars(date, kMaxDateChars) && utf8::is_valid(date);
}

Result<void> check_safe_limits(const model::Snapshot& snapshot, const crdt::Document& doc, const model::Model& model,
                               const WordProcessorAction& action) {
  return std::visit(Checker{snapshot, doc, model}, action);
}

}  // namespace pelto::word_processor
