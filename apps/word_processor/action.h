#pragma once
// WordProcessorAction: the closed edit vocabulary of the word processor. Each of the 28 variants is a
// record of plain values (block ids, character offsets, texts, numbers) naming exactly which part of
// the document it touches; nothing in it refers back to a document, so it may be copied, stored and
// sent freely.
//
// Offsets and lengths count characters (Unicode scalar values) of a block's text, never bytes.
//
// JSON form (the payload of an encoded action of type "word-processor.action"): externally tagged.
// A variant with fields is an object with the single key of its name, holding an object of its
// fields; a variant without fields (`Body`, `Header`, `Footer`, `Delete`) is its name as a string.
// Optional fields are written as null; when read, absent and null both mean none. Fields not listed
// are ignored. Numbers must be integers where the field is an integer (in the field's range) and may
// be any number where it is a float. `bytes` is an array of byte values 0 to 255.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "interfaces/base/error.h"
#include "interfaces/docmodel/marks.h"
#include "interfaces/docmodel/schema.h"

namespace pelto::word_processor {

// Body, Header, Footer (in that order); the document model's own region names.
using Region = model::Region;
using MarkValue = model::MarkValue;
using MarkSpan = model::MarkSpan;

struct AttrValue {
  std::variant<bool, int64_t, double, std::string> v;

  static AttrValue Bool(bool b) { return {b}; }
  static AttrValue Int(int64_t i) { return {i}; }
  static AttrValue Float(double f) { return {f}; }
  static AttrValue Str(std::string s) { return {std::move(s)}; }
  friend bool operator==(const AttrValue&, const AttrValue&) = default;
};

struct Span {
  std::string block;
  uint64_t start = 0;
  uint64_t end = 0;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("block", s.block), f("start", s.start), f("end", s.end);
  }
  friend bool operator==(const Span&, const Span&) = default;
};

struct ClipBlock {
  std::string kind;
  std::string text;
  std::vector<MarkSpan> marks;  // offsets into this clip's text
  std::optional<int64_t> level;
  std::optional<bool> ordered;
  std::optional<std::string> align;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("kind", s.kind), f("text", s.text), f("marks", s.marks), f("level", s.level), f("ordered", s.ordered),
        f("align", s.align);
  }
  friend bool operator==(const ClipBlock&, const ClipBlock&) = default;
};

struct TocTarget {
  std::string heading;
  int64_t level = 1;
  std::string text;
  std::optional<uint64_t> page;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("heading", s.heading), f("level", s.level), f("text", s.text), f("page", s.page);
  }
  friend bool operator==(const TocTarget&, const TocTarget&) = default;
};

#define PELTO_WP_RECORD(Name)                      \
  static constexpr std::string_view kTag = #Name; \
  friend bool operator==(const Name&, const Name&) = default

namespace table_edit {
struct InsertRow {
  PELTO_WP_RECORD(InsertRow);
  uint64_t at = 0;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) { f("at", s.at); }
};
struct InsertColumn {
  PELTO_WP_RECORD(InsertColumn);
  uint64_t at = 0;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) { f("at", s.at); }
};
struct DeleteRow {
  PELTO_WP_RECORD(DeleteRow);
  uint64_t row = 0;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) { f("row", s.row); }
};
struct DeleteColumn {
  PELTO_WP_RECORD(DeleteColumn);
  uint64_t column = 0;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) { f("column", s.column); }
};
struct Delete {
  PELTO_WP_RECORD(Delete);
};
}  // namespace table_edit

struct TableEdit {
  std::variant<table_edit::InsertRow, table_edit::InsertColumn, table_edit::DeleteRow, table_edit::DeleteColumn,
               table_edit::Delete>
      v;
  friend bool operator==(const TableEdit&, const TableEdit&) = default;
};

// The variants, in declaration order. Field names are the JSON names.
namespace act {

struct SpliceText {
  PELTO_WP_RECORD(SpliceText);
  Region region = Region::Body;
  std::string block;
  uint64_t at = 0, del = 0;
  std::string ins;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("region", s.region), f("block", s.block), f("at", s.at), f("del", s.del), f("ins", s.ins);
  }
};

struct ReplaceSelection {
  PELTO_WP_RECORD(ReplaceSelection);
  Region region = Region::Body;
  std::string start_block;
  uint64_t start = 0;
  std::string end_block;
  uint64_t end = 0;
  std::string ins;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("region", s.region), f("start_block", s.start_block), f("start", s.start), f("end_block", s.end_block),
        f("end", s.end), f("ins", s.ins);
  }
};

struct SetMark {
  PELTO_WP_RECORD(SetMark);
  Region region = Region::Body;
  std::vector<Span> spans;
  std::string name;
  std::optional<MarkValue> value;  // none clears the mark
  std::vector<std::string> also_clear;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("region", s.region), f("spans", s.spans), f("name", s.name), f("value", s.value),
        f("also_clear", s.also_clear);
  }
};

struct SetParagraphStyle {
  PELTO_WP_RECORD(SetParagraphStyle);
  Region region = Region::Body;
  std::vector<std::string> blocks;
  std::string kind;
  std::optional<int64_t> level;
  std::optional<bool> ordered;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("region", s.region), f("blocks", s.blocks), f("kind", s.kind), f("level", s.level), f("ordered", s.ordered);
  }
};

struct ApplyNamedStyle {
  PELTO_WP_RECORD(ApplyNamedStyle);
  Region region = Region::Body;
  std::vector<std::string> blocks;
  std::string style;
  std::optional<std::string> kind;
  std::optional<int64_t> level;
  std::optional<bool> ordered;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("region", s.region), f("blocks", s.blocks), f("style", s.style), f("kind", s.kind), f("level", s.level),
        f("ordered", s.ordered);
  }
};

struct SetBlockAttr {
  PELTO_WP_RECORD(SetBlockAttr);
  Region region = Region::Body;
  std::vector<std::string> blocks;
  std::string key;
  AttrValue value;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("region", s.region), f("blocks", s.blocks), f("key", s.key), f("value", s.value);
  }
};

struct SetPageMargins {
  PELTO_WP_RECORD(SetPageMargins);
  double top = 0, right = 0, bottom = 0, left = 0;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("top", s.top), f("right", s.right), f("bottom", s.bottom), f("left", s.left);
  }
};

struct SetStyleProperty {
  PELTO_WP_RECORD(SetStyleProperty);
  std::string style, key;
  AttrValue value;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("style", s.style), f("key", s.key), f("value", s.value);
  }
};

struct DeleteStyle {
  PELTO_WP_RECORD(DeleteStyle);
  std::string style;
  std::vector<std::string> fallback_blocks;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("style", s.style), f("fallback_blocks", s.fallback_blocks);
  }
};

struct SetImageCrop {
  PELTO_WP_RECORD(SetImageCrop);
  std::string block;
  int64_t left = 0, top = 0, right = 0, bottom = 0;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("block", s.block), f("left", s.left), f("top", s.top), f("right", s.right), f("bottom", s.bottom);
  }
};

struct SetImageSize {
  PELTO_WP_RECORD(SetImageSize);
  std::string block;
  int64_t width = 0, height = 0;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("block", s.block), f("width", s.width), f("height", s.height);
  }
};

struct SetImagePlacement {
  PELTO_WP_RECORD(SetImagePlacement);
  std::string block, anchor, wrap;
  int64_t x = 0, y = 0, page = 0;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("block", s.block), f("anchor", s.anchor), f("wrap", s.wrap), f("x", s.x), f("y", s.y), f("page", s.page);
  }
};

struct InsertTable {
  PELTO_WP_RECORD(InsertTable);
  std::string after;
  uint64_t rows = 0, cols = 0;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("after", s.after), f("rows", s.rows), f("cols", s.cols);
  }
};

struct EditTable {
  PELTO_WP_RECORD(EditTable);
  std::string table;
  TableEdit edit;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("table", s.table), f("edit", s.edit);
  }
};

struct InsertImage {
  PELTO_WP_RECORD(InsertImage);
  std::string block;
  uint64_t at = 0;
  std::vector<uint8_t> bytes;
  std::optional<int64_t> width, height;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("block", s.block), f("at", s.at), f("bytes", s.bytes), f("width", s.width), f("height", s.height);
  }
};

struct InsertPageBreak {
  PELTO_WP_RECORD(InsertPageBreak);
  Region region = Region::Body;
  std::string block;
  uint64_t at = 0;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("region", s.region), f("block", s.block), f("at", s.at);
  }
};

struct SplitBlock {
  PELTO_WP_RECORD(SplitBlock);
  Region region = Region::Body;
  std::string block;
  uint64_t at = 0;
  std::string kind;
  std::optional<bool> ordered;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("region", s.region), f("block", s.block), f("at", s.at), f("kind", s.kind), f("ordered", s.ordered);
  }
};

struct InsertField {
  PELTO_WP_RECORD(InsertField);
  Region region = Region::Body;
  std::string block;
  uint64_t at = 0;
  std::string field;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("region", s.region), f("block", s.block), f("at", s.at), f("field", s.field);
  }
};

struct GenerateToc {
  PELTO_WP_RECORD(GenerateToc);
  std::vector<TocTarget> entries;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) { f("entries", s.entries); }
};

struct PasteFragment {
  PELTO_WP_RECORD(PasteFragment);
  Region region = Region::Body;
  std::string start_block;
  uint64_t start = 0;
  std::string end_block;
  uint64_t end = 0;
  std::vector<ClipBlock> blocks;
  bool adopt_first_style = false;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("region", s.region), f("start_block", s.start_block), f("start", s.start), f("end_block", s.end_block),
        f("end", s.end), f("blocks", s.blocks), f("adopt_first_style", s.adopt_first_style);
  }
};

struct InsertParagraph {
  PELTO_WP_RECORD(InsertParagraph);
  std::string after, text;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("after", s.after), f("text", s.text);
  }
};

struct RemoveBlocks {
  PELTO_WP_RECORD(RemoveBlocks);
  std::vector<std::string> blocks;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) { f("blocks", s.blocks); }
};

struct ReplaceBody {
  PELTO_WP_RECORD(ReplaceBody);
  std::string markdown;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) { f("markdown", s.markdown); }
};

struct AcceptChanges {
  PELTO_WP_RECORD(AcceptChanges);
  std::optional<std::string> id;  // none: every change
  template <class Self, class F>
  static void each_field(Self& s, F&& f) { f("id", s.id); }
};

struct RejectChanges {
  PELTO_WP_RECORD(RejectChanges);
  std::optional<std::string> id;  // none: every change
  template <class Self, class F>
  static void each_field(Self& s, F&& f) { f("id", s.id); }
};

struct ResolveComment {
  PELTO_WP_RECORD(ResolveComment);
  std::string id;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) { f("id", s.id); }
};

struct AddComment {
  PELTO_WP_RECORD(AddComment);
  std::string block;
  uint64_t start = 0, end = 0;
  std::string author, date, text;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("block", s.block), f("start", s.start), f("end", s.end), f("author", s.author), f("date", s.date),
        f("text", s.text);
  }
};

struct ReplyToComment {
  PELTO_WP_RECORD(ReplyToComment);
  std::string comment, author, date, text;
  template <class Self, class F>
  static void each_field(Self& s, F&& f) {
    f("comment", s.comment), f("author", s.author), f("date", s.date), f("text", s.text);
  }
};

}  // namespace act

#undef PELTO_WP_RECORD

using WordProcessorAction =
    std::variant<act::SpliceText, act::ReplaceSelection, act::SetMark, act::SetParagraphStyle, act::ApplyNamedStyle,
                 act::SetBlockAttr, act::SetPageMargins, act::SetStyleProperty, act::DeleteStyle, act::SetImageCrop,
                 act::SetImageSize, act::SetImagePlacement, act::InsertTable, act::EditTable, act::InsertImage,
                 act::InsertPageBreak, act::SplitBlock, act::InsertField, act::GenerateToc, act::PasteFragment,
                 act::InsertParagraph, act::RemoveBlocks, act::ReplaceBody, act::AcceptChanges,
                 act::RejectChanges, act::ResolveComment, act::AddComment, act::ReplyToComment>;

// The variant's name ("SpliceText", …).
std::string_view variant_name(const WordProcessorAction& action);
// Every variant name in declaration order.
std::vector<std::string_view> variant_names();

nlohmann::ordered_json to_json(const WordProcessorAction& action);
Result<WordProcessorAction> action_from_json(const nlohmann::json& j);
// Parses the payload text, then reads it.
Result<WordProcessorAction> action_from_json_text(std::string_view text);

nlohmann::ordered_json to_json(const AttrValue& value);
Result<AttrValue> attr_value_from_json(const nlohmann::json& j);

}  // namespace pelto::word_processor
