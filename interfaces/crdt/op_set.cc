#include "interfaces/crdt/op_set.h"

#include <algorithm>

namespace pelto::crdt {

OpSet::OpSet(ActorTable* actors) : actors_(actors) { objects_[OpId{}].type = ObjType::Map; }

const Object* OpSet::object(const OpId& id) const {
  auto it = objects_.find(id);
  return it == objects_.end() ? nullptr : &it->second;
}

std::optional<OpId> OpSet::to_op_id(const ObjId& obj) const {
  if (obj.is_root()) return OpId{};
  auto a = actors_->find(obj.actor.bytes);
  if (!a) return std::nullopt;
  return OpId{obj.counter, *a};
}

ObjId OpSet::to_obj_id(const OpId& id) const {
  if (id.is_null()) return ObjId::root();
  return ObjId{id.counter, ActorId{actors_->bytes(id.actor)}};
}

Value OpSet::to_value(const Entry& e) const {
  Value v;
  if (e.value.make) {
    v.v = to_obj_id(e.id);
    v.object_type = *e.value.make;
  } else {
    v.v = e.value.scalar;
  }
  return v;
}

void OpSet::create(const OpId& id, ObjType type) {
  Object& o = objects_[id];
  o.type = type;
  if (type != ObjType::Map) o.seq = std::make_unique<SeqTree>(actors_);
}

void OpSet::put_register(Register& reg, const std::vector<OpId>& pred, const OpId& id, const OpValue* value) {
  if (!pred.empty())
    std::erase_if(reg, [&](const Entry& e) { return std::find(pred.begin(), pred.end(), e.id) != pred.end(); });
  if (!value) return;
  auto pos = std::find_if(reg.begin(), reg.end(), [&](const Entry& e) { return actors_->less(e.id, id); });
  reg.insert(pos, Entry{id, *value});
  if (value->make) create(id, *value->make);
}

Result<void> OpSet::apply(const Op& op, const OpId& id) {
  auto it = objects_.find(op.obj);
  if (it == objects_.end()) return fail("operation on an unknown object");
  Object& o = it->second;
  auto need = [&](ObjType t) -> Result<void> {
    if (o.type != t) return fail("operation does not fit the object's type");
    return {};
  };
  auto is_new = [&](uint64_t width) -> Result<void> {
    // Objects made by this operation must not exist yet (ids are unique).
    if (objects_.count(id)) return fail("operation id already used");
    (void)width;
    return {};
  };
  switch (op.kind) {
    case OpKind::MapSet: {
      PELTO_CHECK(need(ObjType::Map), "map set");
      PELTO_CHECK(is_new(1), "map set");
      put_register(o.map[op.key], op.pred, id, &op.value);
      return {};
    }
    case OpKind::MapDel: {
      PELTO_CHECK(need(ObjType::Map), "map delete");
      auto k = o.map.find(op.key);
      if (k == o.map.end()) return {};
      put_register(k->second, op.pred, id, nullptr);
      if (k->second.empty()) o.map.erase(k);
      return {};
    }
    case OpKind::InsertText: {
      PELTO_CHECK(need(ObjType::Text), "text insert");
      if (!op.elem.is_null() && !o.seq->find(op.elem)) return fail("insert after an unknown element");
      if (o.seq->find(id)) return fail("element id already used");
      o.seq->integrate(op.elem, id, op.text.size(), op.text);
      return {};
    }
    case OpKind::InsertValue: {
      PELTO_CHECK(need(ObjType::List), "list insert");
      if (!op.elem.is_null() && !o.seq->find(op.elem)) return fail("insert after an unknown element");
      if (o.seq->find(id)) return fail("element id already used");
      PELTO_CHECK(is_new(1), "list insert");
      o.seq->integrate(op.elem, id, 1, {});
      put_register(o.elems[id], {}, id, &op.value);
      return {};
    }
    case OpKind::SeqSet: {
      PELTO_CHECK(need(ObjType::List), "list set");
      auto p = o.seq->find(op.elem);
      if (!p) return fail("set of an unknown element");
      PELTO_CHECK(is_new(1), "list set");
      Register& reg = o.elems[op.elem];
      put_register(reg, op.pred, id, &op.value);
      o.seq->set_visible(op.elem, 1, !reg.empty());
      return {};
    }
    case OpKind::SeqDel: {
      if (o.type == ObjType::Map) return fail("sequence delete on a map");
      if (!o.seq->contains_range(op.elem, op.len)) return fail("delete of an unknown element");
      if (o.type == ObjType::Text) {
        o.seq->set_visible(op.elem, op.len, false);
        return {};
      }
      if (op.len != 1) return fail("list deletes name one element");
      Register& reg = o.elems[op.elem];
      put_register(reg, op.pred, id, nullptr);
      o.seq->set_visible(op.elem, 1, !reg.empty());
      return {};
    }
    case OpKind::Mark: {
      PELTO_CHECK(need(ObjType::Text), "mark");
      for (const Anchor* a : {&op.start, &op.end})
        if ((a->kind == AnchorKind::Before || a->kind == AnchorKind::After) && !o.seq->find(a->elem))
          return fail("mark anchored to an unknown element");
      o.marks.push_back(MarkOp{id, op.start, op.end, op.key, op.value.scalar, op.unmark});
      return {};
    }
  }
  return fail("unknown operation");
}

}  // namespace pelto::crdt
