#pragma once
// Reading the folio schema: the materialized snapshot and the narrow readers.
//
// Everything here only reads (it sees the document's pending change) and tolerates missing or
// mistyped values: a block without a kind reads as "paragraph", without a text as "", a tombstoned
// block, comment, reply, note or bookmark is left out, a mark value that is no MarkValue is skipped.
// A snapshot is a plain copy; it does not refer back to the document.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interfaces/crdt/document.h"
#include "interfaces/docmodel/marks.h"
#include "interfaces/docmodel/schema.h"

namespace pelto::model {

using Attrs = std::map<std::string, crdt::Scalar, std::less<>>;

struct Block {
  std::string id;
  std::string kind;
  std::string text;
  std::vector<MarkSpan> marks;  // sorted by start, then name
  Attrs attrs;

  // Typed attribute readers: nothing when absent or of another type.
  std::optional<std::string> attr_str(std::string_view key) const;
  std::optional<int64_t> attr_int(std::string_view key) const;
  std::optional<double> attr_f64(std::string_view key) const;  // a float or an integer
  std::optional<bool> attr_bool(std::string_view key) const;
  friend bool operator==(const Block&, const Block&) = default;
};

struct RegionSnapshot {
  std::vector<Block> blocks;  // document order, tombstones left out
  const Block* find(std::string_view id) const;
  std::optional<size_t> index_of(std::string_view id) const;
  friend bool operator==(const RegionSnapshot&, const RegionSnapshot&) = default;
};

// A range of one block's text, in characters, end exclusive.
struct Range {
  std::string block;
  size_t start = 0;
  size_t end = 0;
  friend bool operator==(const Range&, const Range&) = default;
};

struct Reply {
  std::string id, author, date, text;
  friend bool operator==(const Reply&, const Reply&) = default;
};

struct Comment {
  std::string id, author, date;
  std::vector<Block> blocks;  // the comment's own text
  std::vector<Reply> replies;
  std::optional<Range> range;  // where it is anchored in the body
  std::string text() const;    // its blocks' texts joined by "\n"
  friend bool operator==(const Comment&, const Comment&) = default;
};

enum class ChangeKind { Insertion, Deletion };

struct TrackedChange {
  std::string id;
  ChangeKind kind = ChangeKind::Insertion;
  std::string author, date;
  std::optional<Range> range;
  friend bool operator==(const TrackedChange&, const TrackedChange&) = default;
};

struct Style {
  std::string id;
  Attrs props;
  std::string name() const;  // the "name" property, else the id
  friend bool operator==(const Style&, const Style&) = default;
};

struct Note {
  std::string id, marker;
  std::vector<std::string> pieces;
  friend bool operator==(const Note&, const Note&) = default;
};

struct Bookmark {
  std::string name, block;
  size_t offset = 0;
  friend bool operator==(const Bookmark&, const Bookmark&) = default;
};

struct Field {
  Region region = Region::Body;
  std::string block;
  size_t offset = 0;
  std::string kind;  // "page-number"
  friend bool operator==(const Field&, const Field&) = default;
};

struct Snapshot {
  std::array<RegionSnapshot, 3> regions;  // indexed by Region
  std::vector<Comment> comments;          // sorted by id; resolved ones left out
  std::vector<TrackedChange> changes;     // sorted by id; accepted or rejected ones left out
  std::vector<Style> styles;              // sorted by id; tombstoned ones left out
  std::vector<Note> notes;                // sorted by id
  std::vector<Bookmark> bookmarks;        // sorted by name
  std::vector<Field> fields;              // per region in document order
  std::map<std::string, std::string, std::less<>> meta;

  const RegionSnapshot& region(Region r) const { return regions[static_cast<size_t>(r)]; }
  const RegionSnapshot& body() const { return region(Region::Body); }
  const Comment* comment(std::string_view id) const;
  const TrackedChange* change(std::string_view id) const;
  const Style* style(std::string_view id) const;
  friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

Snapshot materialize(const crdt::Document& doc, const Model& model);
RegionSnapshot materialize_region(const crdt::Document& doc, const Model& model, Region region);

// Body block ids in document order (tombstones left out); `blocks_in_order_in` for any region.
std::vector<std::string> blocks_in_order(const crdt::Document& doc, const Model& model);
std::vector<std::string> blocks_in_order_in(const crdt::Document& doc, const Model& model, Region region);
// The text of a live body block, or nothing.
std::optional<std::string> block_text(const crdt::Document& doc, const Model& model, std::string_view block);

// Open tracked changes (neither accepted nor rejected), sorted by id.
std::vector<std::string> change_ids(const crdt::Document& doc, const Model& model);
std::optional<Range> change_range(const crdt::Document& doc, const Model& model, std::string_view id);
std::optional<ChangeKind> change_kind(const crdt::Document& doc, const Model& model, std::string_view id);
// Where a comment is anchored (also once it is resolved, until its mark is removed).
std::optional<Range> comment_range(const crdt::Document& doc, const Model& model, std::string_view id);
// Live replies of a comment (also of a resolved one), in the order they were added.
std::vector<std::string> comment_reply_ids(const crdt::Document& doc, const Model& model,
                                           std::string_view comment);
// Every style id the document has ever had, tombstoned ones included, sorted.
std::vector<std::string> style_ids(const crdt::Document& doc, const Model& model);
bool style_is_tombstoned(const crdt::Document& doc, const Model& model, std::string_view style);

// Engine objects: a body block's map, a region's map, a block's map in any region. Nothing when the
// block is unknown or tombstoned.
std::optional<crdt::ObjId> block_obj(const crdt::Document& doc, const Model& model, std::string_view block);
std::optional<crdt::ObjId> region_obj(const crdt::Document& doc, const Model& model, Region region);
std::optional<crdt::ObjId> region_obj(const crdt::Document& doc, const Model& model, Region region,
                                      std::string_view block);

}  // namespace pelto::model
