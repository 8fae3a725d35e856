#pragma once
// Internal state of a Document: the actor table, the op set, the history of changes in causal
// order with its hash index and heads, the pending change, and changes waiting for dependencies.
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "interfaces/crdt/change.h"
#include "interfaces/crdt/change_index.h"
#include "interfaces/crdt/document.h"
#include "interfaces/crdt/op_set.h"
#include "interfaces/crdt/save_format.h"

namespace pelto::crdt {

struct HashOfHash {
  size_t operator()(const ChangeHash& h) const noexcept {
    size_t v;
    std::memcpy(&v, h.bytes.data(), sizeof v);
    return v;
  }
};

struct Document::Impl {
  ActorTable actors;
  std::unique_ptr<OpSet> ops = std::make_unique<OpSet>(&actors);
  uint32_t self = 0;
  ActorId self_id;

  std::vector<Change> history;  // causal order
  ChangeIndex by_hash;  // position in history
  std::vector<ChangeHash> heads;        // sorted
  std::vector<uint64_t> actor_seq;      // changes held per actor
  std::vector<uint64_t> actor_max_op;   // greatest op counter of each actor's changes
  uint64_t max_op = 0;
  size_t saved_upto = 0;                // history index where the next incremental save starts

  std::optional<Change> pending;
  std::vector<Change> waiting;

  const Object* find(const ObjId& obj) const {
    auto id = ops->to_op_id(obj);
    return id ? ops->object(*id) : nullptr;
  }
  uint64_t seq_of(uint32_t actor) const { return actor < actor_seq.size() ? actor_seq[actor] : 0; }

  // Applies a local operation into the pending change (opened on first use); returns its id.
  Result<OpId> local(Op op);
  std::optional<ChangeHash> commit(CommitOptions options);
  size_t rollback();

  // Records a change whose operations are already applied.
  void record(Change change);
  // Replays the whole history into a fresh op set.
  void rebuild();
  // Checks and applies a remote change whose dependencies are all held.
  Result<void> apply_remote(Change change);
  // Takes changes from outside: duplicates ignored, the unready wait; all or nothing.
  Result<IncrementalReport> ingest(std::vector<Change> incoming);

  // Changes in the order save() writes them.
  format::SaveOrder canonical_order() const;
  // Index of a held change in history; `hint` is checked first.
  std::optional<size_t> index_of(const ChangeHash& h, size_t hint) const;
};

// Copies a change from one document's actor table into another's.
Change translate(const Change& c, const ActorTable& from, ActorTable& to);

}  // namespace pelto::crdt
