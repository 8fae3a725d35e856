#pragma once
// The byte formats that leave a document: chunks. save() writes one document chunk,
// save_incremental() and get_change_by_hash() write change chunks; a byte string is any sequence of
// chunks, so outputs may be concatenated. Layout (interfaces/crdt/doc/save-format.md has the long form):
//
//   chunk    := magic "PLTO" (4 bytes) | kind (1 byte) | body length (LEB128) | body
//   kind 1   := one change in its canonical encoding (the bytes its hash is taken over)
//   kind 2   := a whole document: the zstd-compressed document body
//
// The document body lists the document's changes in a fixed causal order (dependencies first, ties
// by hash), column by column, with dependencies as back-references instead of hashes, and ends with
// the heads, which the reader checks against the hashes it recomputes. Same changes, same bytes.
#include <span>
#include <vector>

#include "interfaces/base/error.h"
#include "interfaces/crdt/change.h"

namespace pelto::crdt::format {

inline constexpr uint8_t kMagic[4] = {'P', 'L', 'T', 'O'};
inline constexpr uint8_t kChunkChange = 1;
inline constexpr uint8_t kChunkDocument = 2;
// A document body never inflates beyond this many bytes per input byte (bounded allocation).
inline constexpr size_t kMaxInflation = 64;

void write_change_chunk(Bytes& out, const Bytes& canonical);

// The changes of a document in the order they are written (dependencies first), and for each, in
// the order of its deps, how many places back each dependency sits.
struct SaveOrder {
  std::vector<const Change*> changes;
  std::vector<uint32_t> dep_back;
};
Bytes write_document(const SaveOrder& order, const std::vector<ChangeHash>& heads, const ActorTable& actors);

// Decodes every chunk into changes (hashes computed). Fails on any malformed byte.
Result<std::vector<Change>> read_chunks(std::span<const uint8_t> bytes, ActorTable& actors);

}  // namespace pelto::crdt::format
