#pragma once
// DocMut: every write of the folio schema. It holds the document, the model handle and an id
// generator (all borrowed: they must outlive it) and writes into the document's pending change; the
// caller commits (history::commit_stamped). Offsets and counts are characters of a block's text.
//
// Writes are checked before anything is written (unknown block, offset beyond the text, a
// tombstoned target), so a failed call changes nothing. Values equal to what the document already
// holds are not written again. Body calls have a region variant ("…_in").
//
// While the id generator stages writes, stage_attr and stage_mark collect their writes and
// flush_staged writes them (the last value per attribute, one mark per run of equal values); call
// it before reading them back or committing. Otherwise they write at once.
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "interfaces/base/error.h"
#include "interfaces/crdt/document.h"
#include "interfaces/docmodel/ids.h"
#include "interfaces/docmodel/read.h"
#include "interfaces/docmodel/schema.h"

namespace pelto::model {

class DocMut {
 public:
  DocMut(crdt::Document& doc, Model& model, IdGen& ids) : doc_(doc), model_(model), ids_(ids) {}
  DocMut(const DocMut&) = delete;
  DocMut& operator=(const DocMut&) = delete;

  crdt::Document& doc() { return doc_; }
  Model& model() { return model_; }
  IdGen& ids() { return ids_; }

  // The text object of a live block.
  Result<crdt::ObjId> text_obj(std::string_view block);
  Result<crdt::ObjId> region_text_obj(Region region, std::string_view block);

  // ---- blocks ----
  Result<void> splice_text(std::string_view block, size_t at, size_t del, std::string_view text);
  Result<void> splice_text_in(Region region, std::string_view block, size_t at, size_t del,
                              std::string_view text);
  // A new empty block after `after` (none: at the start); gives its id.
  Result<std::string> insert_block(std::optional<std::string_view> after, std::string_view kind);
  Result<std::string> insert_block_in(Region region, std::optional<std::string_view> after,
                                      std::string_view kind);
  Result<void> tombstone_block(std::string_view block) { return tombstone_block_in(Region::Body, block); }
  Result<void> tombstone_block_in(Region region, std::string_view block);
  Result<void> set_kind(std::string_view block, std::string_view kind) {
    return set_kind_in(Region::Body, block, kind);
  }
  Result<void> set_kind_in(Region region, std::string_view block, std::string_view kind);
  // Writes one attribute now (whatever the generator does).
  Result<void> set_attr_in(Region region, std::string_view block, std::string_view key, crdt::Scalar value);
  // Marks [start, end) of a block's text now.
  Result<void> set_mark_in(Region region, std::string_view block, size_t start, size_t end,
                           std::string_view name, crdt::Scalar value);
  Result<void> remove_mark(std::string_view block, size_t start, size_t end, std::string_view name) {
    return remove_mark_in(Region::Body, block, start, end, name);
  }
  Result<void> remove_mark_in(Region region, std::string_view block, size_t start, size_t end,
                              std::string_view name);

  // ---- staged writes ----
  Result<void> stage_attr(std::string_view block, std::string_view key, crdt::Scalar value);
  Result<void> stage_mark(Region region, std::string_view block, size_t start, size_t end,
                          std::string_view name, crdt::Scalar value);
  Result<void> flush_staged();
  size_t staged_count() const { return staged_attrs_.size() + staged_marks_.size(); }

  // ---- tracked changes (body) ----
  // Inserts `text` at `at` as a tracked insertion; gives the change id.
  Result<std::string> insert_tracked(std::string_view block, size_t at, std::string_view text,
                                     std::string_view author, std::string_view date);
  // Marks [start, end) as a tracked deletion (the text stays until accepted); gives the change id.
  Result<std::string> delete_tracked(std::string_view block, size_t start, size_t end,
                                     std::string_view author, std::string_view date);
  // Accepting an insertion keeps its text, rejecting it removes the text; accepting a deletion
  // removes the text, rejecting it keeps it. Either way the change is then resolved.
  Result<void> accept_change(std::string_view id);
  Result<void> reject_change(std::string_view id);

  // ---- comments ----
  Result<std::string> insert_comment(std::string_view author, std::string_view date);
  Result<std::string> insert_comment_block(std::string_view comment, std::optional<std::string_view> after,
                                           std::string_view kind);
  Result<void> splice_comment_text(std::string_view comment, std::string_view block, size_t at, size_t del,
                                   std::string_view text);
  // Anchors the comment on [start, end) of a body block.
  Result<void> add_comment_mark(std::string_view block, size_t start, size_t end, std::string_view comment);
  Result<std::string> add_comment_reply(std::string_view comment, std::string_view author,
                                        std::string_view date, std::string_view text);
  Result<void> remove_comment_reply(std::string_view comment, std::string_view reply);
  Result<void> tombstone_comment(std::string_view id);

  // ---- fields, notes, bookmarks, blobs, metadata, styles ----
  Result<void> insert_page_number_field(Region region, std::string_view block, size_t at);
  Result<std::string> insert_note(std::string_view marker, std::span<const std::string> pieces);
  Result<void> tombstone_note(std::string_view id);
  Result<void> set_bookmark(std::string_view name, std::string_view block, size_t offset);
  Result<void> remove_bookmark(std::string_view name);
  // Stores the bytes in the document and in this machine's blob store; gives the content hash.
  Result<std::string> put_blob(std::span<const uint8_t> bytes);
  Result<void> set_meta_str(std::string_view key, std::string_view text);
  // Creates the style when missing and writes each property that differs. A tombstoned style stays
  // tombstoned (a concurrent delete wins).
  Result<void> set_style(std::string_view style, const Attrs& properties);
  Result<void> tombstone_style(std::string_view style);

 private:
  Result<BlockList> ensure_region(Region region);
  Result<crdt::ObjId> ensure_container(std::optional<crdt::ObjId>& slot, std::string_view key,
                                       crdt::ObjType type);
  Result<crdt::ObjId> live_block(const BlockList& list, std::string_view block, std::string_view what);
  Result<crdt::ObjId> block_text_of(const crdt::ObjId& block_map);
  Result<std::string> insert_block_into(const BlockList& list, std::optional<std::string_view> after,
                                        std::string_view kind, std::string_view what);
  Result<crdt::ObjId> comment_obj(std::string_view comment);
  Result<BlockList> comment_blocks(std::string_view comment);
  Result<crdt::ObjId> open_change(std::string_view id, ChangeKind& kind);
  Result<void> resolve_change(std::string_view id, bool accept);
  Result<std::string> record_change(ChangeKind kind, std::string_view block, std::string_view author,
                                    std::string_view date);

  crdt::Document& doc_;
  Model& model_;
  IdGen& ids_;
  // Insertion hint: the order list and index of the block inserted last.
  struct Hint {
    crdt::ObjId order;
    std::string id;
    size_t index = 0;
  };
  std::optional<Hint> hint_;
  struct StagedMark {
    Region region;
    std::string block;
    size_t start, end;
    std::string name;
    crdt::Scalar value;
  };
  std::map<std::pair<std::string, std::string>, crdt::Scalar> staged_attrs_;
  std::vector<StagedMark> staged_marks_;
};

// Writes `value` under `key` of a map unless the map already holds exactly that value.
Result<bool> put_if_differs(crdt::Document& doc, const crdt::ObjId& map, std::string_view key,
                            crdt::Scalar value);

}  // namespace pelto::model
