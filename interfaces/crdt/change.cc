#include "interfaces/crdt/change.h"

#include <algorithm>

#include <openssl/sha.h>

namespace pelto::crdt {

using codec::Reader;
using codec::Writer;

uint32_t ActorTable::intern(const Bytes& actor) {
  std::string key(actor.begin(), actor.end());
  auto it = index_.find(key);
  if (it != index_.end()) return it->second;
  uint32_t idx = static_cast<uint32_t>(actors_.size());
  actors_.push_back(actor);
  index_.emplace(std::move(key), idx);
  std::vector<uint32_t> order(actors_.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return actors_[a] < actors_[b]; });
  rank_.assign(actors_.size(), 0);
  for (uint32_t r = 0; r < order.size(); ++r) rank_[order[r]] = r;
  return idx;
}

std::optional<uint32_t> ActorTable::find(const Bytes& actor) const {
  auto it = index_.find(std::string(actor.begin(), actor.end()));
  if (it == index_.end()) return std::nullopt;
  return it->second;
}

namespace {

enum ValueTag : uint8_t {
  kNull = 0, kFalse = 1, kTrue = 2, kInt = 3, kUint = 4, kF64 = 5, kStr = 6, kBytes = 7,
  kMakeMap = 8, kMakeList = 9, kMakeText = 10,
};

void put_value(Writer& w, const OpValue& v) {
  if (v.make) {
    w.byte(static_cast<uint8_t>(kMakeMap + static_cast<uint8_t>(*v.make)));
    return;
  }
  std::visit(
      [&](auto&& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, Null>) w.byte(kNull);
        else if constexpr (std::is_same_v<T, bool>) w.byte(x ? kTrue : kFalse);
        else if constexpr (std::is_same_v<T, int64_t>) { w.byte(kInt); w.sleb(x); }
        else if constexpr (std::is_same_v<T, uint64_t>) { w.byte(kUint); w.uleb(x); }
        else if constexpr (std::is_same_v<T, double>) { w.byte(kF64); w.f64(x); }
        else if constexpr (std::is_same_v<T, std::string>) { w.byte(kStr); w.str(x); }
        else { w.byte(kBytes); w.bytes(x); }
      },
      v.scalar);
}

Result<OpValue> get_value(Reader& r) {
  PELTO_TRY(uint8_t tag, r.byte(), "value");
  OpValue v;
  switch (tag) {
    case kNull: v.scalar = Null{}; break;
    case kFalse: v.scalar = false; break;
    case kTrue: v.scalar = true; break;
    case kInt: { PELTO_TRY(int64_t x, r.sleb(), "int"); v.scalar = x; break; }
    case kUint: { PELTO_TRY(uint64_t x, r.uleb(), "uint"); v.scalar = x; break; }
    case kF64: { PELTO_TRY(double x, r.f64(), "float"); v.scalar = x; break; }
    case kStr: { PELTO_TRY(std::string x, r.str(), "string"); v.scalar = std::move(x); break; }
    case kBytes: { PELTO_TRY(Bytes x, r.bytes(), "bytes"); v.scalar = std::move(x); break; }
    case kMakeMap: case kMakeList: case kMakeText:
      v.make = static_cast<ObjType>(tag - kMakeMap);
      break;
    default: return fail("unknown value tag");
  }
  return v;
}

void put_id(Writer& w, const OpId& id, const OpCodec& c) {
  w.uleb(id.counter);
  if (id.counter) w.uleb(c.actor_out[id.actor]);
}

Result<OpId> get_id(Reader& r, const OpCodec& c) {
  OpId id;
  PELTO_TRY(id.counter, r.uleb(), "id");
  if (id.counter) {
    PELTO_TRY(uint64_t a, r.uleb(), "id actor");
    if (a >= c.actor_in.size()) return fail("actor index out of range");
    id.actor = c.actor_in[a];
  }
  return id;
}

void put_anchor(Writer& w, const Anchor& a, const OpCodec& c) {
  w.byte(static_cast<uint8_t>(a.kind));
  if (a.kind == AnchorKind::Before || a.kind == AnchorKind::After) put_id(w, a.elem, c);
}

Result<Anchor> get_anchor(Reader& r, const OpCodec& c) {
  Anchor a;
  PELTO_TRY(uint8_t k, r.byte(), "anchor");
  if (k > 3) return fail("unknown anchor kind");
  a.kind = static_cast<AnchorKind>(k);
  if (a.kind == AnchorKind::Before || a.kind == AnchorKind::After) {
    PELTO_TRY(a.elem, get_id(r, c), "anchor element");
    if (a.elem.is_null()) return fail("anchor names no element");
  }
  return a;
}

void put_pred(Writer& w, const std::vector<OpId>& pred, const OpCodec& c) {
  w.uleb(pred.size());
  for (auto& p : pred) put_id(w, p, c);
}

Result<std::vector<OpId>> get_pred(Reader& r, const OpCodec& c) {
  PELTO_TRY(uint64_t n, r.count(1), "pred count");
  std::vector<OpId> pred;
  pred.reserve(n);
  for (uint64_t i = 0; i < n; ++i) {
    PELTO_TRY(OpId id, get_id(r, c), "pred");
    if (id.is_null()) return fail("pred names no operation");
    pred.push_back(id);
  }
  return pred;
}

void collect_actors(const Op& op, std::vector<uint32_t>& out) {
  auto add = [&](const OpId& id) {
    if (!id.is_null()) out.push_back(id.actor);
  };
  add(op.obj);
  add(op.elem);
  for (auto& p : op.pred) add(p);
  if (op.kind == OpKind::Mark) {
    add(op.start.elem);
    add(op.end.elem);
  }
}

}  // namespace

void encode_ops(Writer& w, const std::vector<Op>& ops, const OpCodec& c) {
  w.uleb(ops.size());
  for (auto& op : ops) {
    w.byte(static_cast<uint8_t>(op.kind));
    put_id(w, op.obj, c);
    switch (op.kind) {
      case OpKind::MapSet: w.str(op.key); put_pred(w, op.pred, c); put_value(w, op.value); break;
      case OpKind::MapDel: w.str(op.key); put_pred(w, op.pred, c); break;
      case OpKind::InsertText: {
        put_id(w, op.elem, c);
        std::string s;
        for (char32_t ch : op.text) codec::utf8_append(s, ch);
        w.str(s);
        break;
      }
      case OpKind::InsertValue: put_id(w, op.elem, c); put_value(w, op.value); break;
      case OpKind::SeqSet: put_id(w, op.elem, c); put_pred(w, op.pred, c); put_value(w, op.value); break;
      case OpKind::SeqDel: put_id(w, op.elem, c); w.uleb(op.len); put_pred(w, op.pred, c); break;
      case OpKind::Mark:
        put_anchor(w, op.start, c);
        put_anchor(w, op.end, c);
        w.str(op.key);
        w.byte(static_cast<uint8_t>((op.unmark ? 4 : 0) | static_cast<uint8_t>(op.expand)));
        if (!op.unmark) put_value(w, op.value);
        break;
    }
  }
}

Result<std::vector<Op>> decode_ops(Reader& r, const OpCodec& c) {
  PELTO_TRY(uint64_t n, r.count(2), "operation count");
  std::vector<Op> ops;
  ops.reserve(n);
  for (uint64_t i = 0; i < n; ++i) {
    Op op;
    PELTO_TRY(uint8_t kind, r.byte(), "operation kind");
    if (kind < 1 || kind > 7) return fail("unknown operation kind");
    op.kind = static_cast<OpKind>(kind);
    PELTO_TRY(op.obj, get_id(r, c), "operation object");
    switch (op.kind) {
      case OpKind::MapSet: {
        PELTO_TRY(op.key, r.str(), "key");
        PELTO_TRY(op.pred, get_pred(r, c), "pred");
        PELTO_TRY(op.value, get_value(r), "value");
        break;
      }
      case OpKind::MapDel: {
        PELTO_TRY(op.key, r.str(), "key");
        PELTO_TRY(op.pred, get_pred(r, c), "pred");
        break;
      }
      case OpKind::InsertText: {
        PELTO_TRY(op.elem, get_id(r, c), "reference");
        PELTO_TRY(std::string s, r.str(), "text");
        PELTO_TRY(op.text, codec::utf8_decode(s), "text");
        if (op.text.empty()) return fail("empty text insert");
        break;
      }
      case OpKind::InsertValue: {
        PELTO_TRY(op.elem, get_id(r, c), "reference");
        PELTO_TRY(op.value, get_value(r), "value");
        break;
      }
      case OpKind::SeqSet: {
        PELTO_TRY(op.elem, get_id(r, c), "element");
        PELTO_TRY(op.pred, get_pred(r, c), "pred");
        PELTO_TRY(op.value, get_value(r), "value");
        if (op.elem.is_null()) return fail("set names no element");
        break;
      }
      case OpKind::SeqDel: {
        PELTO_TRY(op.elem, get_id(r, c), "element");
        PELTO_TRY(op.len, r.uleb(), "length");
        PELTO_TRY(op.pred, get_pred(r, c), "pred");
        if (op.elem.is_null() || op.len == 0 || op.len > (uint64_t{1} << 40)) return fail("bad delete");
        break;
      }
      case OpKind::Mark: {
        PELTO_TRY(op.start, get_anchor(r, c), "mark start");
        PELTO_TRY(op.end, get_anchor(r, c), "mark end");
        PELTO_TRY(op.key, r.str(), "mark name");
        PELTO_TRY(uint8_t flags, r.byte(), "mark flags");
        if (flags > 7) return fail("bad mark flags");
        op.unmark = flags & 4;
        op.expand = static_cast<Expand>(flags & 3);
        if (!op.unmark) {
          PELTO_TRY(op.value, get_value(r), "mark value");
          if (op.value.make) return fail("mark value is an object");
        }
        break;
      }
    }
    ops.push_back(std::move(op));
  }
  return ops;
}

Bytes encode_change(const Change& ch, const ActorTable& actors) {
  std::vector<uint32_t> others;
  others.reserve(8);
  for (auto& op : ch.ops) collect_actors(op, others);
  std::sort(others.begin(), others.end(),
            [&](uint32_t a, uint32_t b) { return actors.bytes(a) < actors.bytes(b); });
  others.erase(std::unique(others.begin(), others.end()), others.end());
  others.erase(std::remove(others.begin(), others.end(), ch.actor), others.end());
  OpCodec c;
  c.actor_out.assign(actors.size(), 0);
  c.actor_out[ch.actor] = 0;
  for (size_t i = 0; i < others.size(); ++i) c.actor_out[others[i]] = static_cast<uint32_t>(i + 1);

  Writer w;
  w.out().reserve(64);
  w.bytes(actors.bytes(ch.actor));
  w.uleb(ch.seq);
  w.uleb(ch.start_op);
  w.sleb(ch.time_ms);
  if (ch.message) {
    w.byte(1);
    w.str(*ch.message);
  } else {
    w.byte(0);
  }
  w.uleb(ch.deps.size());
  for (auto& d : ch.deps) w.raw(d.bytes.data(), d.bytes.size());
  w.uleb(others.size());
  for (auto a : others) w.bytes(actors.bytes(a));
  encode_ops(w, ch.ops, c);
  return w.take();
}

ChangeHash hash_bytes(std::span<const uint8_t> bytes) {
  ChangeHash h;
  SHA256(bytes.data(), bytes.size(), h.bytes.data());
  return h;
}

void seal_change(Change& change, const ActorTable& actors) {
  change.hash = hash_bytes(encode_change(change, actors));
}

Result<Change> decode_change(std::span<const uint8_t> body, ActorTable& actors) {
  Reader r(body);
  Change ch;
  PELTO_TRY(Bytes actor, r.bytes(), "change actor");
  PELTO_TRY(ch.seq, r.uleb(), "seq");
  PELTO_TRY(ch.start_op, r.uleb(), "start op");
  PELTO_TRY(ch.time_ms, r.sleb(), "time");
  PELTO_TRY(uint8_t has_msg, r.byte(), "message flag");
  if (has_msg > 1) return fail("bad message flag");
  if (has_msg) {
    PELTO_TRY(std::string m, r.str(), "message");
    ch.message = std::move(m);
  }
  PELTO_TRY(uint64_t ndeps, r.count(32), "dependency count");
  for (uint64_t i = 0; i < ndeps; ++i) {
    PELTO_TRY(auto raw, r.raw(32), "dependency");
    ChangeHash h;
    std::copy(raw.begin(), raw.end(), h.bytes.begin());
    if (!ch.deps.empty() && !(ch.deps.back() < h)) return fail("dependencies not sorted");
    ch.deps.push_back(h);
  }
  PELTO_TRY(uint64_t nothers, r.count(1), "actor count");
  std::vector<Bytes> others;
  for (uint64_t i = 0; i < nothers; ++i) {
    PELTO_TRY(Bytes a, r.bytes(), "actor");
    if (a == actor || (!others.empty() && !(others.back() < a))) return fail("actors not sorted");
    others.push_back(std::move(a));
  }
  if (ch.seq == 0 || ch.start_op == 0) return fail("seq and start op count from 1");
  OpCodec c;
  ch.actor = actors.intern(actor);
  c.actor_in.push_back(ch.actor);
  for (auto& a : others) c.actor_in.push_back(actors.intern(a));
  PELTO_TRY(ch.ops, decode_ops(r, c), "operations");
  if (!r.done()) return fail("trailing bytes after change");
  if (ch.ops.empty()) return fail("change without operations");
  uint64_t w = ch.width();
  if (w > (uint64_t{1} << 48) || ch.start_op > (uint64_t{1} << 48)) return fail("operation counter out of range");
  // Only the canonical form is accepted, so a change has exactly one hash.
  if (encode_change(ch, actors) != Bytes(body.begin(), body.end())) return fail("change is not in canonical form");
  ch.hash = hash_bytes(body);
  return ch;
}

}  // namespace pelto::crdt
