#pragma once
// Operations and changes, and the canonical change encoding that the change hash is taken over.
//
// An operation's id is (counter, actor). Inside a document actors are small indices into the
// document's actor table (ActorTable); in encoded form a change carries its own actor list (its
// author first, then the other actors its operations name, sorted bytewise) and refers to it by
// position, so the encoding does not depend on the document it came from.
//
// Every operation takes `width()` consecutive counters: a text insert one per character, a text
// delete one per deleted element, everything else one.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "interfaces/base/error.h"
#include "interfaces/crdt/codec.h"
#include "interfaces/crdt/types.h"

namespace pelto::crdt {

// Counter 0 names the root map (as object) or the head of a sequence (as element reference).
struct OpId {
  uint64_t counter = 0;
  uint32_t actor = 0;
  bool is_null() const { return counter == 0; }
  friend bool operator==(const OpId&, const OpId&) = default;
};

struct OpIdHash {
  size_t operator()(const OpId& id) const noexcept {
    return std::hash<uint64_t>()(id.counter * 0x9E3779B97F4A7C15ull ^ id.actor);
  }
};

// Interned actors of one document; ids compare by counter, then actor bytes.
class ActorTable {
 public:
  uint32_t intern(const Bytes& actor);
  std::optional<uint32_t> find(const Bytes& actor) const;
  const Bytes& bytes(uint32_t index) const { return actors_[index]; }
  size_t size() const { return actors_.size(); }
  // Rank of each index in bytewise order, kept current by intern().
  uint32_t rank(uint32_t index) const { return rank_[index]; }
  bool less(const OpId& a, const OpId& b) const {
    if (a.counter != b.counter) return a.counter < b.counter;
    return rank_[a.actor] < rank_[b.actor];
  }

 private:
  std::vector<Bytes> actors_;
  std::vector<uint32_t> rank_;
  std::unordered_map<std::string, uint32_t> index_;
};

enum class OpKind : uint8_t {
  MapSet = 1,      // key, pred, value
  MapDel = 2,      // key, pred
  InsertText = 3,  // elem = reference (null: head), text = characters
  InsertValue = 4, // elem = reference, value
  SeqSet = 5,      // elem = target, pred, value
  SeqDel = 6,      // elem = first target, len consecutive counters of one actor; pred (lists)
  Mark = 7,        // mark fields
};

enum class AnchorKind : uint8_t { Start = 0, Before = 1, After = 2, End = 3 };
struct Anchor {
  AnchorKind kind = AnchorKind::Start;
  OpId elem;  // for Before/After
  friend bool operator==(const Anchor&, const Anchor&) = default;
};

// A value an operation writes: a scalar, or a new object of the given type.
struct OpValue {
  Scalar scalar;
  std::optional<ObjType> make;
  friend bool operator==(const OpValue&, const OpValue&) = default;
};

struct Op {
  OpKind kind = OpKind::MapSet;
  OpId obj;
  std::string key;      // map ops; mark name
  OpId elem;            // sequence ops
  uint64_t len = 1;     // SeqDel
  std::vector<OpId> pred;
  OpValue value;        // MapSet, InsertValue, SeqSet, Mark value
  std::u32string text;  // InsertText
  Anchor start, end;    // Mark
  bool unmark = false;  // Mark
  Expand expand = Expand::None;
  uint64_t width() const {
    if (kind == OpKind::InsertText) return text.size();
    if (kind == OpKind::SeqDel) return len;
    return 1;
  }
};

struct Change {
  uint32_t actor = 0;
  uint64_t seq = 0;
  uint64_t start_op = 0;
  int64_t time_ms = 0;
  std::optional<std::string> message;
  std::vector<ChangeHash> deps;  // sorted
  std::vector<Op> ops;
  ChangeHash hash;
  uint64_t width() const {
    uint64_t w = 0;
    for (auto& op : ops) w += op.width();
    return w;
  }
  uint64_t max_op() const { return start_op + width() - 1; }
};

// The canonical encoding of a change (without its hash).
Bytes encode_change(const Change& change, const ActorTable& actors);
// Decodes one canonical change, interning its actors into `actors`, and sets its hash.
Result<Change> decode_change(std::span<const uint8_t> body, ActorTable& actors);
ChangeHash hash_bytes(std::span<const uint8_t> bytes);
// Encodes, hashes and stores the hash in change.hash.
void seal_change(Change& change, const ActorTable& actors);

// Operation bodies shared with the save format: actor references go through `actor_ref`.
struct OpCodec {
  std::vector<uint32_t> actor_out;  // doc actor index -> index written
  std::vector<uint32_t> actor_in;   // index read -> doc actor index
};
void encode_ops(codec::Writer& w, const std::vector<Op>& ops, const OpCodec& c);
Result<std::vector<Op>> decode_ops(codec::Reader& r, const OpCodec& c);

}  // namespace pelto::crdt
