#pragma once
// The materialized state of a document: every object (maps, lists, texts with their marks) as the
// operations applied so far leave it. Operations are applied in causal order; each is checked
// against the state first and either applies whole or leaves the state untouched, so a malformed
// remote change is refused before it does harm.
//
// Map keys and list elements hold registers: every value not yet overwritten or deleted, the
// greatest id first (the winner); the others are the conflicts. A write removes the values it saw
// (its pred) and adds itself; a delete only removes.
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "interfaces/base/error.h"
#include "interfaces/crdt/change.h"
#include "interfaces/crdt/seq_tree.h"

namespace pelto::crdt {

struct Entry {
  OpId id;
  OpValue value;
};
using Register = std::vector<Entry>;  // greatest id first

struct MarkOp {
  OpId id;
  Anchor start, end;
  std::string name;
  Scalar value;
  bool unmark = false;
};

struct Object {
  ObjType type = ObjType::Map;
  std::map<std::string, Register, std::less<>> map;
  std::unique_ptr<SeqTree> seq;
  std::unordered_map<OpId, Register, OpIdHash> elems;  // list element values
  std::vector<MarkOp> marks;
};

class OpSet {
 public:
  explicit OpSet(ActorTable* actors);
  OpSet(const OpSet&) = delete;
  OpSet& operator=(const OpSet&) = delete;

  // Applies one operation whose id is `id`; refuses it (state unchanged) when it does not fit.
  Result<void> apply(const Op& op, const OpId& id);

  const Object* object(const OpId& id) const;
  std::optional<OpId> to_op_id(const ObjId& obj) const;
  ObjId to_obj_id(const OpId& id) const;
  Value to_value(const Entry& e) const;

  std::vector<MarkSpan> marks(const Object& text) const;
  const ActorTable& actors() const { return *actors_; }

 private:
  void put_register(Register& reg, const std::vector<OpId>& pred, const OpId& id, const OpValue* value);
  void create(const OpId& id, ObjType type);

  ActorTable* actors_;
  std::unordered_map<OpId, Object, OpIdHash> objects_;
};

}  // namespace pelto::crdt
