// Document: the pending change, local writes and reads over the op set.
#include "interfaces/crdt/document.h"

#include "interfaces/crdt/document_impl.h"

namespace pelto::crdt {

Document::Document() : Document(ActorId::random()) {}
Document::Document(ActorId actor) : impl_(std::make_unique<Impl>()) {
  impl_->self = impl_->actors.intern(actor.bytes);
  impl_->self_id = std::move(actor);
}
Document::~Document() = default;
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;

const ActorId& Document::actor() const { return impl_->self_id; }

void Document::set_actor(ActorId actor) {
  commit();
  impl_->self = impl_->actors.intern(actor.bytes);
  impl_->self_id = std::move(actor);
}

// ---- reads ----

std::optional<ObjType> Document::object_type(const ObjId& obj) const {
  auto o = impl_->find(obj);
  if (!o) return std::nullopt;
  return o->type;
}

std::optional<Value> Document::get(const ObjId& map, std::string_view key) const {
  auto o = impl_->find(map);
  if (!o || o->type != ObjType::Map) return std::nullopt;
  auto it = o->map.find(key);
  if (it == o->map.end() || it->second.empty()) return std::nullopt;
  return impl_->ops->to_value(it->second.front());
}

std::vector<Value> Document::get_all(const ObjId& map, std::string_view key) const {
  std::vector<Value> out;
  auto o = impl_->find(map);
  if (!o || o->type != ObjType::Map) return out;
  auto it = o->map.find(key);
  if (it == o->map.end()) return out;
  for (auto& e : it->second) out.push_back(impl_->ops->to_value(e));
  return out;
}

std::vector<std::string> Document::keys(const ObjId& map) const {
  std::vector<std::string> out;
  auto o = impl_->find(map);
  if (!o || o->type != ObjType::Map) return out;
  for (auto& [k, reg] : o->map)
    if (!reg.empty()) out.push_back(k);
  return out;
}

size_t Document::length(const ObjId& seq) const {
  auto o = impl_->find(seq);
  if (!o) return 0;
  if (o->type == ObjType::Map) return keys(seq).size();
  return o->seq->visible();
}

std::optional<Value> Document::get(const ObjId& list, size_t index) const {
  auto o = impl_->find(list);
  if (!o || o->type == ObjType::Map || index >= o->seq->visible()) return std::nullopt;
  auto p = o->seq->find_visible(index);
  if (o->type == ObjType::Text) {
    std::string s;
    codec::utf8_append(s, p.node->chars[p.off]);
    return Value{Scalar{std::move(s)}};
  }
  auto it = o->elems.find(p.id());
  if (it == o->elems.end() || it->second.empty()) return std::nullopt;
  return impl_->ops->to_value(it->second.front());
}

std::string Document::text(const ObjId& text) const {
  std::string out;
  auto o = impl_->find(text);
  if (!o || o->type != ObjType::Text) return out;
  out.reserve(o->seq->visible());
  o->seq->for_each_visible([&](const SeqTree::Node& n) {
    for (char32_t c : n.chars) codec::utf8_append(out, c);
  });
  return out;
}

std::vector<MarkSpan> Document::marks(const ObjId& text) const {
  auto o = impl_->find(text);
  if (!o || o->type != ObjType::Text) return {};
  return impl_->ops->marks(*o);
}

// ---- writes ----

namespace {
Op make_op(OpKind kind, OpId obj, std::string key = {}, std::vector<OpId> pred = {}) {
  Op op;
  op.kind = kind;
  op.obj = obj;
  op.key = std::move(key);
  op.pred = std::move(pred);
  return op;
}
Op make_seq_op(OpKind kind, OpId obj, OpId elem, uint64_t len) {
  Op op;
  op.kind = kind;
  op.obj = obj;
  op.elem = elem;
  op.len = len;
  return op;
}

Result<const Object*> need(const OpSet& ops, const ObjId& obj, std::initializer_list<ObjType> types,
                           OpId& id) {
  auto op = ops.to_op_id(obj);
  const Object* o = op ? ops.object(*op) : nullptr;
  if (!o) return failf("unknown object {}", obj.to_string());
  bool ok = false;
  for (auto t : types) ok = ok || o->type == t;
  if (!ok) return failf("object {} has another type", obj.to_string());
  id = *op;
  return o;
}

std::vector<OpId> ids_of(const Register& reg) {
  std::vector<OpId> out;
  for (auto& e : reg) out.push_back(e.id);
  return out;
}

Result<void> drop_id(Result<OpId> r) {
  if (!r) return std::unexpected(std::move(r.error()));
  return {};
}

OpValue scalar_value(Scalar s) { return OpValue{std::move(s), std::nullopt}; }
OpValue make_value(ObjType t) { return OpValue{Null{}, t}; }
}  // namespace

Result<void> Document::put(const ObjId& map, std::string_view key, Scalar value) {
  OpId obj;
  PELTO_TRY(const Object* o, need(*impl_->ops, map, {ObjType::Map}, obj), "put");
  Op op = make_op(OpKind::MapSet, obj, std::string(key));
  if (auto it = o->map.find(key); it != o->map.end()) op.pred = ids_of(it->second);
  op.value = scalar_value(std::move(value));
  return drop_id(impl_->local(std::move(op)));
}

Result<ObjId> Document::put_object(const ObjId& map, std::string_view key, ObjType type) {
  OpId obj;
  PELTO_TRY(const Object* o, need(*impl_->ops, map, {ObjType::Map}, obj), "put object");
  Op op = make_op(OpKind::MapSet, obj, std::string(key));
  if (auto it = o->map.find(key); it != o->map.end()) op.pred = ids_of(it->second);
  op.value = make_value(type);
  PELTO_TRY(OpId id, impl_->local(std::move(op)), "put object");
  return impl_->ops->to_obj_id(id);
}

namespace {
Result<Op> list_set(const Object* o, const OpId& obj, size_t index) {
  if (index >= o->seq->visible()) return failf("index {} out of range (length {})", index, o->seq->visible());
  OpId elem = o->seq->find_visible(index).id();
  Op op = make_seq_op(OpKind::SeqSet, obj, elem, 1);
  if (auto it = o->elems.find(elem); it != o->elems.end()) op.pred = ids_of(it->second);
  return op;
}
Result<Op> list_insert(const Object* o, const OpId& obj, size_t index) {
  if (index > o->seq->visible()) return failf("index {} out of range (length {})", index, o->seq->visible());
  Op op = make_op(OpKind::InsertValue, obj);
  if (index > 0) op.elem = o->seq->find_visible(index - 1).id();
  return op;
}
}  // namespace

Result<void> Document::put(const ObjId& list, size_t index, Scalar value) {
  OpId obj;
  PELTO_TRY(const Object* o, need(*impl_->ops, list, {ObjType::List}, obj), "put");
  PELTO_TRY(Op op, list_set(o, obj, index), "put");
  op.value = scalar_value(std::move(value));
  return drop_id(impl_->local(std::move(op)));
}

Result<ObjId> Document::put_object(const ObjId& list, size_t index, ObjType type) {
  OpId obj;
  PELTO_TRY(const Object* o, need(*impl_->ops, list, {ObjType::List}, obj), "put object");
  PELTO_TRY(Op op, list_set(o, obj, index), "put object");
  op.value = make_value(type);
  PELTO_TRY(OpId id, impl_->local(std::move(op)), "put object");
  return impl_->ops->to_obj_id(id);
}

Result<void> Document::insert(const ObjId& list, size_t index, Scalar value) {
  OpId obj;
  PELTO_TRY(const Object* o, need(*impl_->ops, list, {ObjType::List}, obj), "insert");
  PELTO_TRY(Op op, list_insert(o, obj, index), "insert");
  op.value = scalar_value(std::move(value));
  return drop_id(impl_->local(std::move(op)));
}

Result<ObjId> Document::insert_object(const ObjId& list, size_t index, ObjType type) {
  OpId obj;
  PELTO_TRY(const Object* o, need(*impl_->ops, list, {ObjType::List}, obj), "insert object");
  PELTO_TRY(Op op, list_insert(o, obj, index), "insert object");
  op.value = make_value(type);
  PELTO_TRY(OpId id, impl_->local(std::move(op)), "insert object");
  return impl_->ops->to_obj_id(id);
}

Result<void> Document::delete_key(const ObjId& map, std::string_view key) {
  OpId obj;
  PELTO_TRY(const Object* o, need(*impl_->ops, map, {ObjType::Map}, obj), "delete key");
  auto it = o->map.find(key);
  if (it == o->map.end() || it->second.empty()) return {};
  Op op = make_op(OpKind::MapDel, obj, std::string(key), ids_of(it->second));
  return drop_id(impl_->local(std::move(op)));
}

Result<void> Document::delete_range(const ObjId& seq, size_t index, size_t count) {
  OpId obj;
  PELTO_TRY(const Object* o, need(*impl_->ops, seq, {ObjType::List, ObjType::Text}, obj), "delete range");
  size_t len = o->seq->visible();
  if (index > len || count > len - index) return failf("range {}+{} out of range (length {})", index, count, len);
  if (count == 0) return {};
  // Collect the ids first: positions move as elements go.
  std::vector<Op> ops;
  auto p = o->seq->find_visible(index);
  SeqTree::Node* n = p.node;
  uint64_t off = p.off;
  size_t left = count;
  while (left > 0) {
    if (n->vis) {
      uint64_t take = std::min<uint64_t>(n->len - off, left);
      if (o->type == ObjType::Text) {
        if (!ops.empty() && ops.back().elem.actor == n->actor &&
            ops.back().elem.counter + ops.back().len == n->ctr + off) {
          ops.back().len += take;
        } else {
          ops.push_back(make_seq_op(OpKind::SeqDel, obj, OpId{n->ctr + off, n->actor}, take));
        }
      } else {
        for (uint64_t i = 0; i < take; ++i) {
          OpId elem{n->ctr + off + i, n->actor};
          Op op = make_seq_op(OpKind::SeqDel, obj, elem, 1);
          if (auto it = o->elems.find(elem); it != o->elems.end()) op.pred = ids_of(it->second);
          ops.push_back(std::move(op));
        }
      }
      left -= take;
    }
    n = SeqTree::next(n);
    off = 0;
  }
  for (auto& op : ops) PELTO_CHECK(drop_id(impl_->local(std::move(op))), "delete range");
  return {};
}

Result<void> Document::splice_text(const ObjId& text, size_t at, size_t delete_count, std::string_view insert) {
  OpId obj;
  PELTO_TRY(const Object* o, need(*impl_->ops, text, {ObjType::Text}, obj), "splice text");
  size_t len = o->seq->visible();
  if (at > len || delete_count > len - at) return failf("splice {}+{} out of range (length {})", at, delete_count, len);
  PELTO_TRY(std::u32string chars, codec::utf8_decode(insert), "splice text");
  PELTO_CHECK(delete_range(text, at, delete_count), "splice text");
  if (chars.empty()) return {};
  Op op = make_op(OpKind::InsertText, obj);
  if (at > 0) op.elem = o->seq->find_visible(at - 1).id();
  op.text = std::move(chars);
  return drop_id(impl_->local(std::move(op)));
}

namespace {
Result<Op> mark_op(const Object* o, const OpId& obj, size_t start, size_t end, std::string_view name, Expand expand) {
  size_t len = o->seq->visible();
  if (start > end || end > len) return failf("mark {}..{} out of range (length {})", start, end, len);
  if (name.empty()) return fail("mark without a name");
  Op op = make_op(OpKind::Mark, obj, std::string(name));
  bool before = expand == Expand::Before || expand == Expand::Both;
  bool after = expand == Expand::After || expand == Expand::Both;
  if (before) {
    op.start = start == 0 ? Anchor{AnchorKind::Start, {}} : Anchor{AnchorKind::After, o->seq->find_visible(start - 1).id()};
  } else {
    op.start = Anchor{AnchorKind::Before, o->seq->find_visible(start).id()};
  }
  if (after) {
    op.end = end == len ? Anchor{AnchorKind::End, {}} : Anchor{AnchorKind::Before, o->seq->find_visible(end).id()};
  } else {
    op.end = Anchor{AnchorKind::After, o->seq->find_visible(end - 1).id()};
  }
  op.expand = expand;
  return op;
}
}  // namespace

Result<void> Document::mark(const ObjId& text, size_t start, size_t end, std::string_view name, Scalar value,
                            Expand expand) {
  OpId obj;
  PELTO_TRY(const Object* o, need(*impl_->ops, text, {ObjType::Text}, obj), "mark");
  if (start == end && end <= o->seq->visible()) return {};
  PELTO_TRY(Op op, mark_op(o, obj, start, end, name, expand), "mark");
  op.value = scalar_value(std::move(value));
  return drop_id(impl_->local(std::move(op)));
}

Result<void> Document::unmark(const ObjId& text, size_t start, size_t end, std::string_view name, Expand expand) {
  OpId obj;
  PELTO_TRY(const Object* o, need(*impl_->ops, text, {ObjType::Text}, obj), "unmark");
  if (start == end && end <= o->seq->visible()) return {};
  PELTO_TRY(Op op, mark_op(o, obj, start, end, name, expand), "unmark");
  op.unmark = true;
  return drop_id(impl_->local(std::move(op)));
}

size_t Document::pending_ops() const { return impl_->pending ? impl_->pending->width() : 0; }

std::optional<ChangeHash> Document::commit(CommitOptions options) { return impl_->commit(std::move(options)); }

size_t Document::rollback() { return impl_->rollback(); }

}  // namespace pelto::crdt
