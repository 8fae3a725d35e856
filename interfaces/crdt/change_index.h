#pragma once
// Index from change hash to position in a document's history: open addressing over the first 8
// bytes of the hash (uniform, being SHA-256), with the full hash compared on a hit. Much lighter than
// a node-based map for hundreds of thousands of changes. Entries are only added; truncate() drops
// every position from a given one on (used when a failed load is undone).
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "interfaces/crdt/types.h"

namespace pelto::crdt {

class ChangeIndex {
 public:
  std::optional<size_t> find(const ChangeHash& h) const {
    if (slots_.empty()) return std::nullopt;
    uint64_t key = prefix(h);
    for (size_t i = key & mask_;; i = (i + 1) & mask_) {
      const Slot& s = slots_[i];
      if (s.pos == kEmpty) return std::nullopt;
      if (s.key == key && hashes_[s.pos] == h) return s.pos;
    }
  }
  bool contains(const ChangeHash& h) const { return find(h).has_value(); }
  // Adds the change at position `hashes().size()`.
  void push(const ChangeHash& h) {
    if ((hashes_.size() + 1) * 2 > slots_.size()) grow();
    hashes_.push_back(h);
    place(prefix(h), static_cast<uint32_t>(hashes_.size() - 1));
  }
  void truncate(size_t n) {
    hashes_.resize(n);
    rehash(slots_.size());
  }
  void reserve(size_t n) {
    hashes_.reserve(n);
    size_t want = 16;
    while (want < n * 2) want *= 2;
    if (want > slots_.size()) rehash(want);
  }
  size_t size() const { return hashes_.size(); }

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;
  struct Slot {
    uint64_t key = 0;
    uint32_t pos = kEmpty;
  };
  static uint64_t prefix(const ChangeHash& h) {
    uint64_t v;
    std::memcpy(&v, h.bytes.data(), sizeof v);
    return v;
  }
  void place(uint64_t key, uint32_t pos) {
    size_t i = key & mask_;
    while (slots_[i].pos != kEmpty) i = (i + 1) & mask_;
    slots_[i] = Slot{key, pos};
  }
  void grow() { rehash(slots_.empty() ? 16 : slots_.size() * 2); }
  void rehash(size_t n) {
    slots_.assign(n, Slot{});
    mask_ = n - 1;
    for (size_t p = 0; p < hashes_.size(); ++p) place(prefix(hashes_[p]), static_cast<uint32_t>(p));
  }

  std::vector<Slot> slots_;
  std::vector<ChangeHash> hashes_;
  size_t mask_ = 0;
};

}  // namespace pelto::crdt
