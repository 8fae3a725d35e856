#pragma once
// The folio schema: the word-processor document laid over a CRDT engine document.
//
// A `Model` is a handle on one document's schema objects. It holds engine object ids only (no
// pointers into the document), so it may be copied freely; it stays valid while the document keeps
// the same root (objects are never replaced, only tombstoned). Writers (DocMut) create containers an
// older document lacks and refresh the handle they were given.
//
// Layout (under the root key "folio"; every removal is a tombstone or a false flag):
//
//   folio                     map
//     schema                  int, layout version (1)
//     body, header, footer    region: map { order: list of block ids, blocks: map id -> block }
//       block                 map { kind: str, text: text (with marks), attrs: map, deleted: bool }
//     comments                map id -> { author, date: str, order, blocks (as a region),
//                                         reply_order: list of ids, replies: map id ->
//                                         { author, date: str, text: text, deleted: bool },
//                                         block: str (the anchored body block), deleted: bool }
//     changes                 map id -> { kind: "insertion" | "deletion", author, date: str,
//                                         block: str (body), resolved: bool }
//     styles                  map id -> { props: map of scalars, deleted: bool }
//     meta                    map key -> str
//     notes                   map id -> { marker: str, pieces: list of str, deleted: bool }
//     bookmarks               map name -> { block: str, offset: int, deleted: bool }
//     blobs                   map sha-256 hex -> bytes
//     runs                    list of { run_id, request, decision, assigned_by, author (actor hex),
//                                       outcome: str, time_ms: int }
//
// Anchors inside a text are marks on it: "comment" = comment id, "insertion"/"deletion" = change
// id; a page-number field is one U+FFFC character marked "field" = "page-number".
// Readers skip missing or mistyped values; writers write only values that differ.
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "interfaces/base/error.h"
#include "interfaces/crdt/document.h"

namespace pelto::model {

inline constexpr std::string_view kRootKey = "folio";
inline constexpr int64_t kSchemaVersion = 1;
// The message of the genesis change; it, the genesis actor and time 0 make the genesis change the
// same bytes everywhere, so documents created apart still share their root and merge.
inline constexpr std::string_view kGenesisMessage = "folio schema genesis";
inline constexpr std::string_view kGenesisActor = "folio-genesis";

// The styles every document has from its genesis change; they cannot be deleted.
inline constexpr std::array<std::string_view, 6> kBuiltinStyles = {"body",     "heading1", "heading2",
                                                                    "heading3", "list",     "quote"};
bool is_builtin_style(std::string_view style);

enum class Region { Body, Header, Footer };
inline constexpr std::array<Region, 3> kRegions = {Region::Body, Region::Header, Region::Footer};
std::string_view region_key(Region region);  // "body", "header", "footer"
std::string_view region_name(Region region);  // "Body", "Header", "Footer"
std::optional<Region> region_from_name(std::string_view name);

// Keys inside the schema objects (one place for each).
namespace key {
inline constexpr std::string_view schema = "schema";
inline constexpr std::string_view order = "order";
inline constexpr std::string_view blocks = "blocks";
inline constexpr std::string_view kind = "kind";
inline constexpr std::string_view text = "text";
inline constexpr std::string_view attrs = "attrs";
inline constexpr std::string_view deleted = "deleted";
inline constexpr std::string_view comments = "comments";
inline constexpr std::string_view author = "author";
inline constexpr std::string_view date = "date";
inline constexpr std::string_view replies = "replies";
inline constexpr std::string_view reply_order = "reply_order";
inline constexpr std::string_view block = "block";
inline constexpr std::string_view changes = "changes";
inline constexpr std::string_view resolved = "resolved";
inline constexpr std::string_view styles = "styles";
inline constexpr std::string_view props = "props";
inline constexpr std::string_view meta = "meta";
inline constexpr std::string_view notes = "notes";
inline constexpr std::string_view marker = "marker";
inline constexpr std::string_view pieces = "pieces";
inline constexpr std::string_view bookmarks = "bookmarks";
inline constexpr std::string_view offset = "offset";
inline constexpr std::string_view blobs = "blobs";
inline constexpr std::string_view runs = "runs";
}  // namespace key

// Mark names the schema itself uses.
namespace mark {
inline constexpr std::string_view comment = "comment";
inline constexpr std::string_view insertion = "insertion";
inline constexpr std::string_view deletion = "deletion";
inline constexpr std::string_view field = "field";
inline constexpr std::string_view page_number = "page-number";
inline constexpr std::string_view field_char = "\xEF\xBF\xBC";  // U+FFFC
}  // namespace mark

// An ordered collection of blocks: a region, or a comment's own blocks.
struct BlockList {
  crdt::ObjId map;     // the region (or comment) map holding both
  crdt::ObjId order;   // list of block ids
  crdt::ObjId blocks;  // map id -> block
};

struct Model {
  crdt::ObjId folio;
  std::array<std::optional<BlockList>, 3> regions;  // indexed by Region
  std::optional<crdt::ObjId> comments, changes, styles, meta, notes, bookmarks, blobs, runs;

  const std::optional<BlockList>& region(Region r) const { return regions[static_cast<size_t>(r)]; }
};

// Opens the schema under `root` (the document's root map). Fails when the root key is missing or
// is not a map. Blobs the document carries are copied into this machine's blob store.
Result<Model> open(const crdt::Document& doc, const crdt::ObjId& root = crdt::ObjId::root());

// Writes the genesis change of an empty document (three empty regions, the built-in styles and
// every container) and commits it. Fails when the document already holds the root key or has a
// pending change. The document's own actor is kept for later writes.
Result<Model> create(crdt::Document& doc);
// A new document of the schema, with `actor` for its later writes.
Result<crdt::Document> new_document(crdt::ActorId actor);

}  // namespace pelto::model
