#pragma once
// The word-processor document a scripted participant holds: seeded from markdown or taken from a
// snapshot, kept in step with the room (snapshots merged, changes loaded incrementally), edited as a
// person typing, and listed as its body blocks.
//
// A RoomDocument owns its engine document and the schema handle over it. Bytes from the room are
// untrusted: a snapshot that does not load or is no word-processor document, and a change that does
// not load, are refused with an error value and leave the document as it was.
// Single-threaded; move-only (the engine document is).
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "interfaces/base/error.h"
#include "interfaces/crdt/document.h"
#include "interfaces/docmodel/read.h"
#include "interfaces/docmodel/schema.h"

namespace pelto::room {

// One body block as the listing shows it.
struct BlockLine {
  std::string kind;
  std::string text;
  friend bool operator==(const BlockLine&, const BlockLine&) = default;
};

class RoomDocument {
 public:
  // A new document whose body is the markdown's blocks, committed as one stamped change.
  static Result<RoomDocument> seeded(std::string_view markdown, crdt::ActorId actor);
  // The document a snapshot holds; later writes carry `actor`.
  static Result<RoomDocument> from_snapshot(std::span<const uint8_t> bytes, crdt::ActorId actor);

  RoomDocument(RoomDocument&&) = default;
  RoomDocument& operator=(RoomDocument&&) = default;

  // Takes the changes of a snapshot this document lacks. Gives whether anything was new.
  Result<bool> merge_snapshot(std::span<const uint8_t> bytes);
  // Loads incremental changes; those whose dependencies are missing wait. Gives whether any applied.
  Result<bool> apply_change(std::span<const uint8_t> bytes);

  // Appends a paragraph holding `text` at the end of the body, as one committed change or, with
  // `per_character`, as one committed change per character (the first also creates the paragraph).
  // Gives the incremental bytes of each change, in order. `text` must be valid UTF-8 and not empty.
  Result<std::vector<crdt::Bytes>> append_paragraph(std::string_view text, bool per_character);

  crdt::Bytes save() { return doc_.save(); }
  std::vector<BlockLine> blocks() const;
  crdt::Document& engine() { return doc_; }

 private:
  RoomDocument(crdt::Document doc, model::Model model) : doc_(std::move(doc)), model_(std::move(model)) {}
  // The schema handle again, after the document took changes that may have created containers.
  void reopen();

  crdt::Document doc_;
  model::Model model_;
};

// The listing of a document's body: a header line with the block count, then one line per block,
// "{kind}: {text}", with line breaks and backslashes in the text escaped so each block is one line.
std::string render_blocks(const std::vector<BlockLine>& blocks);

}  // namespace pelto::room
