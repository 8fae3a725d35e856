#pragma once
// An operation-based JSON CRDT document: a root map holding maps, lists and texts (with marks).
//
// Writes go into the document's pending change (opened by the first write, closed by commit()).
// While a change is pending every read sees its writes; rollback() undoes them. One document is
// used from one thread at a time; a Document owns all its state and may be moved, not copied
// (use fork()).
//
// Convergence: two documents that hold the same set of changes have identical heads, identical
// state and identical save() bytes, whatever order the changes arrived in.
//
// Untrusted input: load() and load_incremental() never crash, never allocate more than the input
// justifies, verify every change hash, and leave the document unchanged when they fail.
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "interfaces/base/error.h"
#include "interfaces/crdt/types.h"

namespace pelto::crdt {

struct CommitOptions {
  std::optional<std::string> message;
  std::optional<int64_t> time_ms;  // wall clock in ms; absent: now
};

// What load_incremental did with the changes it was given.
struct IncrementalReport {
  size_t applied = 0;    // changes now part of the document (including earlier waiting ones)
  size_t duplicates = 0; // changes already held, ignored
  size_t waiting = 0;    // changes held back until their dependencies arrive
  bool changed() const { return applied > 0; }
};

class Document {
 public:
  Document();                      // a random actor
  explicit Document(ActorId actor);
  ~Document();
  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  const ActorId& actor() const;
  void set_actor(ActorId actor);  // commits a pending change first (its operations carry the old actor)

  // ---- reads (see the pending change) ----
  std::optional<ObjType> object_type(const ObjId& obj) const;  // nothing when obj is unknown
  std::optional<Value> get(const ObjId& map, std::string_view key) const;  // the winning value
  std::vector<Value> get_all(const ObjId& map, std::string_view key) const;  // winner first, then conflicts
  std::vector<std::string> keys(const ObjId& map) const;  // sorted, visible keys only
  size_t length(const ObjId& seq) const;                  // list elements or text characters (map: keys)
  std::optional<Value> get(const ObjId& list, size_t index) const;
  std::string text(const ObjId& text) const;              // UTF-8
  std::vector<MarkSpan> marks(const ObjId& text) const;   // sorted by start, then name

  // ---- writes (into the pending change) ----
  Result<void> put(const ObjId& map, std::string_view key, Scalar value);
  Result<ObjId> put_object(const ObjId& map, std::string_view key, ObjType type);
  Result<void> put(const ObjId& list, size_t index, Scalar value);     // overwrite element
  Result<ObjId> put_object(const ObjId& list, size_t index, ObjType type);
  Result<void> insert(const ObjId& list, size_t index, Scalar value);
  Result<ObjId> insert_object(const ObjId& list, size_t index, ObjType type);
  Result<void> delete_key(const ObjId& map, std::string_view key);
  Result<void> delete_range(const ObjId& seq, size_t index, size_t count);
  // Positions and counts in characters (Unicode scalar values); `insert` must be valid UTF-8.
  Result<void> splice_text(const ObjId& text, size_t at, size_t delete_count, std::string_view insert);
  Result<void> mark(const ObjId& text, size_t start, size_t end, std::string_view name, Scalar value,
                    Expand expand);
  Result<void> unmark(const ObjId& text, size_t start, size_t end, std::string_view name, Expand expand);
  // (mark/unmark of an empty range write nothing; a deleted key that is absent writes nothing.)

  // Operations in the pending change.
  size_t pending_ops() const;
  // Closes the pending change; nothing when it holds no operation.
  std::optional<ChangeHash> commit(CommitOptions options = {});
  // Drops the pending change and every write in it; returns how many operations were dropped.
  size_t rollback();

  // ---- history and sync (a pending change is committed first) ----
  std::vector<ChangeHash> heads();                        // sorted
  Bytes save();                                           // the whole document
  Bytes save_incremental();                               // changes since the last save or incremental save
  void discard_pending_incremental();                     // the next save_incremental starts from here
  static Result<Document> load(std::span<const uint8_t> bytes);
  // Accepts a save() or save_incremental() output (or a concatenation of them).
  Result<IncrementalReport> load_incremental(std::span<const uint8_t> bytes);
  // Takes every change of `other` this document lacks; the report counts them.
  Result<IncrementalReport> merge(Document& other);
  // Dependencies of waiting changes (and of `heads`, when given) that this document does not hold.
  std::vector<ChangeHash> get_missing_deps(std::span<const ChangeHash> heads = {});
  std::optional<ChangeMeta> get_change_meta(const ChangeHash& hash) const;
  // One change in its encoded form, as load_incremental accepts it.
  std::optional<Bytes> get_change_by_hash(const ChangeHash& hash) const;
  std::vector<ChangeMeta> changes() const;                // causal order
  size_t change_count() const;
  // A copy of this document (same actor unless given), or of it as of `heads`.
  Document fork(std::optional<ActorId> actor = std::nullopt);
  Result<Document> fork_at(std::span<const ChangeHash> heads, std::optional<ActorId> actor = std::nullopt);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace pelto::crdt
