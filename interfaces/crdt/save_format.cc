#include "interfaces/crdt/save_format.h"

#include <algorithm>
#include <unordered_map>

#include <zstd.h>

namespace pelto::crdt::format {

using codec::Reader;
using codec::Writer;

namespace {
constexpr size_t kMaxBody = size_t{1} << 30;
constexpr int kZstdLevel = 9;

void write_chunk(Bytes& out, uint8_t kind, const Bytes& body) {
  out.insert(out.end(), kMagic, kMagic + 4);
  out.push_back(kind);
  Writer w;
  w.uleb(body.size());
  out.insert(out.end(), w.out().begin(), w.out().end());
  out.insert(out.end(), body.begin(), body.end());
}
}  // namespace

void write_change_chunk(Bytes& out, const Bytes& canonical) { write_chunk(out, kChunkChange, canonical); }

namespace {

// The document body is a set of columns; each field of each change and operation goes to its
// column in order, so like values sit together and compress well. Element counters are written as
// the difference to the previous element reference (typing and deleting runs give constant steps).
enum Column : uint8_t {
  kChangeActor, kChangeStart, kChangeTime, kChangeMsgFlag, kChangeMsg, kChangeDepCount, kChangeDep,
  kChangeOpCount, kOpKind, kOpObj, kOpKey, kOpElemActor, kOpElem, kOpLen, kOpPredCount, kOpPred,
  kOpPredActor, kOpValue, kOpTextLen, kOpText, kOpMark, kColumns
};

struct ColumnWriter {
  Writer col[kColumns];
  uint64_t last_elem = 0;
  void id(const OpId& elem, uint64_t, const OpCodec& oc) {
    if (elem.is_null()) {
      col[kOpElemActor].uleb(0);
      return;
    }
    col[kOpElemActor].uleb(uint64_t{oc.actor_out[elem.actor]} + 1);
    col[kOpElem].sleb(static_cast<int64_t>(elem.counter - last_elem));
    last_elem = elem.counter;
  }
  void value(const OpValue& v) {
    Writer& w = col[kOpValue];
    if (v.make) {
      w.byte(static_cast<uint8_t>(8 + static_cast<uint8_t>(*v.make)));
      return;
    }
    std::visit(
        [&](auto&& x) {
          using T = std::decay_t<decltype(x)>;
          if constexpr (std::is_same_v<T, Null>) w.byte(0);
          else if constexpr (std::is_same_v<T, bool>) w.byte(x ? 2 : 1);
          else if constexpr (std::is_same_v<T, int64_t>) { w.byte(3); w.sleb(x); }
          else if constexpr (std::is_same_v<T, uint64_t>) { w.byte(4); w.uleb(x); }
          else if constexpr (std::is_same_v<T, double>) { w.byte(5); w.f64(x); }
          else if constexpr (std::is_same_v<T, std::string>) { w.byte(6); w.str(x); }
          else { w.byte(7); w.bytes(x); }
        },
        v.scalar);
  }
  void op(const Op& op, uint64_t own, const OpCodec& oc) {
    col[kOpKind].byte(static_cast<uint8_t>(op.kind));
    col[kOpObj].uleb(op.obj.counter);
    if (op.obj.counter) col[kOpObj].uleb(oc.actor_out[op.obj.actor]);
    auto preds = [&] {
      col[kOpPredCount].uleb(op.pred.size());
      for (auto& p : op.pred) {
        col[kOpPred].sleb(static_cast<int64_t>(own - p.counter));
        col[kOpPredActor].uleb(oc.actor_out[p.actor]);
      }
    };
    switch (op.kind) {
      case OpKind::MapSet: col[kOpKey].str(op.key); preds(); value(op.value); break;
      case OpKind::MapDel: col[kOpKey].str(op.key); preds(); break;
      case OpKind::InsertText: {
        id(op.elem, own, oc);
        std::string s;
        for (char32_t ch : op.text) codec::utf8_append(s, ch);
        col[kOpTextLen].uleb(s.size());
        col[kOpText].raw(s.data(), s.size());
        break;
      }
      case OpKind::InsertValue: id(op.elem, own, oc); value(op.value); break;
      case OpKind::SeqSet: id(op.elem, own, oc); preds(); value(op.value); break;
      case OpKind::SeqDel: id(op.elem, own, oc); col[kOpLen].uleb(op.len); preds(); break;
      case OpKind::Mark:
        for (const Anchor* a : {&op.start, &op.end}) {
          col[kOpMark].byte(static_cast<uint8_t>(a->kind));
          if (a->kind == AnchorKind::Before || a->kind == AnchorKind::After) id(a->elem, own, oc);
        }
        col[kOpKey].str(op.key);
        col[kOpMark].byte(static_cast<uint8_t>((op.unmark ? 4 : 0) | static_cast<uint8_t>(op.expand)));
        if (!op.unmark) value(op.value);
        break;
    }
  }
};

struct ColumnReader {
  std::vector<Reader> col;
  const OpCodec* oc = nullptr;
  uint64_t last_elem = 0;
  Result<uint32_t> actor(uint64_t a) {
    if (a >= oc->actor_in.size()) return fail("actor index out of range");
    return oc->actor_in[a];
  }
  Result<OpId> id(uint64_t, bool required) {
    PELTO_TRY(uint64_t a, col[kOpElemActor].uleb(), "element actor");
    if (a == 0) {
      if (required) return fail("element reference missing");
      return OpId{};
    }
    PELTO_TRY(uint32_t actor_index, actor(a - 1), "element actor");
    PELTO_TRY(int64_t d, col[kOpElem].sleb(), "element");
    uint64_t ctr = last_elem + static_cast<uint64_t>(d);
    if (ctr == 0 || ctr > (uint64_t{1} << 50)) return fail("element counter out of range");
    last_elem = ctr;
    return OpId{ctr, actor_index};
  }
  Result<OpValue> value() {
    Reader& r = col[kOpValue];
    PELTO_TRY(uint8_t tag, r.byte(), "value");
    OpValue v;
    switch (tag) {
      case 0: v.scalar = Null{}; break;
      case 1: v.scalar = false; break;
      case 2: v.scalar = true; break;
      case 3: { PELTO_TRY(int64_t x, r.sleb(), "int"); v.scalar = x; break; }
      case 4: { PELTO_TRY(uint64_t x, r.uleb(), "uint"); v.scalar = x; break; }
      case 5: { PELTO_TRY(double x, r.f64(), "float"); v.scalar = x; break; }
      case 6: { PELTO_TRY(std::string x, r.str(), "string"); v.scalar = std::move(x); break; }
      case 7: { PELTO_TRY(Bytes x, r.bytes(), "bytes"); v.scalar = std::move(x); break; }
      case 8: case 9: case 10: v.make = static_cast<ObjType>(tag - 8); break;
      default: return fail("unknown value tag");
    }
    return v;
  }
  Result<std::vector<OpId>> preds(uint64_t own) {
    PELTO_TRY(uint64_t n, col[kOpPredCount].uleb(), "pred count");
    if (n > col[kOpPredActor].left()) return fail("pred count exceeds input");
    std::vector<OpId> out;
    out.reserve(n);
    for (uint64_t i = 0; i < n; ++i) {
      PELTO_TRY(int64_t d, col[kOpPred].sleb(), "pred");
      PELTO_TRY(uint64_t a, col[kOpPredActor].uleb(), "pred actor");
      PELTO_TRY(uint32_t actor_index, actor(a), "pred actor");
      uint64_t ctr = own - static_cast<uint64_t>(d);
      if (ctr == 0 || ctr > (uint64_t{1} << 50)) return fail("pred counter out of range");
      out.push_back(OpId{ctr, actor_index});
    }
    return out;
  }
  Result<Op> op(uint64_t own) {
    Op op;
    PELTO_TRY(uint8_t kind, col[kOpKind].byte(), "operation kind");
    if (kind < 1 || kind > 7) return fail("unknown operation kind");
    op.kind = static_cast<OpKind>(kind);
    PELTO_TRY(op.obj.counter, col[kOpObj].uleb(), "object");
    if (op.obj.counter) {
      PELTO_TRY(uint64_t a, col[kOpObj].uleb(), "object actor");
      PELTO_TRY(op.obj.actor, actor(a), "object actor");
    }
    switch (op.kind) {
      case OpKind::MapSet: {
        PELTO_TRY(op.key, col[kOpKey].str(), "key");
        PELTO_TRY(op.pred, preds(own), "pred");
        PELTO_TRY(op.value, value(), "value");
        break;
      }
      case OpKind::MapDel: {
        PELTO_TRY(op.key, col[kOpKey].str(), "key");
        PELTO_TRY(op.pred, preds(own), "pred");
        break;
      }
      case OpKind::InsertText: {
        PELTO_TRY(op.elem, id(own, false), "reference");
        PELTO_TRY(uint64_t n, col[kOpTextLen].uleb(), "text length");
        PELTO_TRY(auto raw, col[kOpText].raw(n), "text");
        PELTO_TRY(op.text, codec::utf8_decode(std::string_view(reinterpret_cast<const char*>(raw.data()), raw.size())),
                  "text");
        if (op.text.empty()) return fail("empty text insert");
        break;
      }
      case OpKind::InsertValue: {
        PELTO_TRY(op.elem, id(own, false), "reference");
        PELTO_TRY(op.value, value(), "value");
        break;
      }
      case OpKind::SeqSet: {
        PELTO_TRY(op.elem, id(own, true), "element");
        PELTO_TRY(op.pred, preds(own), "pred");
        PELTO_TRY(op.value, value(), "value");
        break;
      }
      case OpKind::SeqDel: {
        PELTO_TRY(op.elem, id(own, true), "element");
        PELTO_TRY(op.len, col[kOpLen].uleb(), "length");
        if (op.len == 0 || op.len > (uint64_t{1} << 40)) return fail("bad delete length");
        PELTO_TRY(op.pred, preds(own), "pred");
        break;
      }
      case OpKind::Mark: {
        for (Anchor* a : {&op.start, &op.end}) {
          PELTO_TRY(uint8_t k, col[kOpMark].byte(), "anchor");
          if (k > 3) return fail("unknown anchor kind");
          a->kind = static_cast<AnchorKind>(k);
          if (a->kind == AnchorKind::Before || a->kind == AnchorKind::After) {
            PELTO_TRY(a->elem, id(own, true), "anchor");
          }
        }
        PELTO_TRY(op.key, col[kOpKey].str(), "mark name");
        PELTO_TRY(uint8_t flags, col[kOpMark].byte(), "mark flags");
        if (flags > 7) return fail("bad mark flags");
        op.unmark = flags & 4;
        op.expand = static_cast<Expand>(flags & 3);
        if (!op.unmark) {
          PELTO_TRY(op.value, value(), "mark value");
          if (op.value.make) return fail("mark value is an object");
        }
        break;
      }
    }
    return op;
  }
};

}  // namespace

Bytes write_document(const SaveOrder& order, const std::vector<ChangeHash>& heads, const ActorTable& actors) {
  const auto& changes = order.changes;
  // Only actors that author or are named by changes; the table may hold others.
  std::vector<bool> used(actors.size(), false);
  for (auto* c : changes) {
    used[c->actor] = true;
    for (auto& op : c->ops) {
      for (const OpId* id : {&op.obj, &op.elem, &op.start.elem, &op.end.elem})
        if (!id->is_null()) used[id->actor] = true;
      for (auto& p : op.pred) used[p.actor] = true;
    }
  }
  std::vector<uint32_t> sorted;
  for (uint32_t i = 0; i < actors.size(); ++i)
    if (used[i]) sorted.push_back(i);
  std::sort(sorted.begin(), sorted.end(), [&](uint32_t a, uint32_t b) { return actors.bytes(a) < actors.bytes(b); });
  OpCodec oc;
  oc.actor_out.assign(actors.size(), 0);
  for (size_t i = 0; i < sorted.size(); ++i) oc.actor_out[sorted[i]] = static_cast<uint32_t>(i);

  ColumnWriter cw;
  size_t next_dep = 0;
  int64_t last_time = 0;
  uint64_t max_op = 0;
  for (size_t i = 0; i < changes.size(); ++i) {
    const Change& c = *changes[i];
    cw.col[kChangeActor].uleb(oc.actor_out[c.actor]);
    cw.col[kChangeStart].sleb(static_cast<int64_t>(c.start_op - (max_op + 1)));
    cw.col[kChangeTime].sleb(static_cast<int64_t>(static_cast<uint64_t>(c.time_ms) - static_cast<uint64_t>(last_time)));
    last_time = c.time_ms;
    cw.col[kChangeMsgFlag].byte(c.message ? 1 : 0);
    if (c.message) cw.col[kChangeMsg].str(*c.message);
    cw.col[kChangeDepCount].uleb(c.deps.size());
    for (size_t k = 0; k < c.deps.size(); ++k) cw.col[kChangeDep].uleb(order.dep_back[next_dep++]);
    cw.col[kChangeOpCount].uleb(c.ops.size());
    uint64_t own = c.start_op;
    for (auto& op : c.ops) {
      cw.op(op, own, oc);
      own += op.width();
    }
    max_op = std::max(max_op, c.max_op());
  }

  Writer w;
  w.uleb(sorted.size());
  for (auto a : sorted) w.bytes(actors.bytes(a));
  w.uleb(changes.size());
  w.uleb(kColumns);
  for (auto& col : cw.col) w.uleb(col.size());
  for (auto& col : cw.col) w.raw(col.out().data(), col.size());
  w.uleb(heads.size());
  for (auto& h : heads) w.raw(h.bytes.data(), 32);

  Bytes body = w.take();
  Bytes packed(ZSTD_compressBound(body.size()));
  size_t n = ZSTD_compress(packed.data(), packed.size(), body.data(), body.size(), kZstdLevel);
  packed.resize(ZSTD_isError(n) ? 0 : n);
  Bytes out;
  write_chunk(out, kChunkDocument, packed);
  return out;
}

namespace {

Result<std::vector<Change>> read_document(std::span<const uint8_t> packed, size_t input_size, ActorTable& actors) {
  unsigned long long size = ZSTD_getFrameContentSize(packed.data(), packed.size());
  if (size == ZSTD_CONTENTSIZE_ERROR || size == ZSTD_CONTENTSIZE_UNKNOWN) return fail("document body is not compressed data");
  if (size > kMaxBody || size > input_size * kMaxInflation) return fail("document body too large for its input");
  Bytes body(size);
  size_t n = ZSTD_decompress(body.data(), body.size(), packed.data(), packed.size());
  if (ZSTD_isError(n) || n != size) return fail("document body does not decompress");

  Reader r(body);
  PELTO_TRY(uint64_t nactors, r.count(1), "actor count");
  OpCodec oc;
  std::vector<Bytes> seen;
  for (uint64_t i = 0; i < nactors; ++i) {
    PELTO_TRY(Bytes a, r.bytes(), "actor");
    if (!seen.empty() && !(seen.back() < a)) return fail("actors not sorted");
    seen.push_back(a);
  }
  for (auto& a : seen) oc.actor_in.push_back(actors.intern(a));
  PELTO_TRY(uint64_t nchanges, r.count(0), "change count");
  PELTO_TRY(uint64_t ncols, r.uleb(), "column count");
  if (ncols != kColumns) return fail("unexpected column count");
  uint64_t lens[kColumns];
  for (auto& l : lens) {
    PELTO_TRY(l, r.uleb(), "column length");
  }
  ColumnReader cr;
  cr.oc = &oc;
  for (auto l : lens) {
    PELTO_TRY(auto bytes, r.raw(l), "column");
    cr.col.emplace_back(bytes);
  }
  // Every change takes at least one byte of its actor column.
  if (nchanges > lens[kChangeActor]) return fail("change count exceeds input");
  std::vector<Change> out;
  out.reserve(nchanges);
  std::vector<bool> is_dep(nchanges, false);
  std::vector<uint64_t> seq(oc.actor_in.size(), 0);
  int64_t last_time = 0;
  uint64_t max_op = 0;
  for (uint64_t i = 0; i < nchanges; ++i) {
    Change c;
    PELTO_TRY(uint64_t a, cr.col[kChangeActor].uleb(), "change actor");
    if (a >= oc.actor_in.size()) return fail("change actor out of range");
    c.actor = oc.actor_in[a];
    c.seq = ++seq[a];
    PELTO_TRY(int64_t ds, cr.col[kChangeStart].sleb(), "start op");
    c.start_op = max_op + 1 + static_cast<uint64_t>(ds);
    PELTO_TRY(int64_t dt, cr.col[kChangeTime].sleb(), "time");
    c.time_ms = static_cast<int64_t>(static_cast<uint64_t>(last_time) + static_cast<uint64_t>(dt));
    last_time = c.time_ms;
    PELTO_TRY(uint8_t has_msg, cr.col[kChangeMsgFlag].byte(), "message flag");
    if (has_msg > 1) return fail("bad message flag");
    if (has_msg) {
      PELTO_TRY(std::string m, cr.col[kChangeMsg].str(), "message");
      c.message = std::move(m);
    }
    PELTO_TRY(uint64_t ndeps, cr.col[kChangeDepCount].uleb(), "dependency count");
    if (ndeps > cr.col[kChangeDep].left()) return fail("dependency count exceeds input");
    for (uint64_t k = 0; k < ndeps; ++k) {
      PELTO_TRY(uint64_t back, cr.col[kChangeDep].uleb(), "dependency");
      if (back == 0 || back > i) return fail("dependency out of range");
      c.deps.push_back(out[i - back].hash);
      is_dep[i - back] = true;
    }
    std::sort(c.deps.begin(), c.deps.end());
    if (std::adjacent_find(c.deps.begin(), c.deps.end()) != c.deps.end()) return fail("repeated dependency");
    PELTO_TRY(uint64_t nops, cr.col[kChangeOpCount].uleb(), "operation count");
    if (nops == 0) return fail("change without operations");
    if (nops > cr.col[kOpKind].left()) return fail("operation count exceeds input");
    if (c.start_op == 0 || c.start_op > (uint64_t{1} << 48)) return fail("operation counter out of range");
    c.ops.reserve(nops);
    uint64_t own = c.start_op;
    for (uint64_t k = 0; k < nops; ++k) {
      PELTO_TRY(Op op, cr.op(own), "operation");
      own += op.width();
      if (own > (uint64_t{1} << 49)) return fail("operation counter out of range");
      c.ops.push_back(std::move(op));
    }
    max_op = std::max(max_op, c.max_op());
    seal_change(c, actors);
    out.push_back(std::move(c));
  }
  for (auto& col : cr.col)
    if (!col.done()) return fail("trailing bytes in a column");
  PELTO_TRY(uint64_t nheads, r.count(32), "head count");
  std::vector<ChangeHash> heads, computed;
  for (uint64_t i = 0; i < nheads; ++i) {
    PELTO_TRY(auto raw, r.raw(32), "head");
    ChangeHash h;
    std::copy(raw.begin(), raw.end(), h.bytes.begin());
    heads.push_back(h);
  }
  if (!r.done()) return fail("trailing bytes in document");
  for (uint64_t i = 0; i < nchanges; ++i)
    if (!is_dep[i]) computed.push_back(out[i].hash);
  std::sort(computed.begin(), computed.end());
  if (computed != heads) return fail("document heads do not match its changes");
  return out;
}

}  // namespace

Result<std::vector<Change>> read_chunks(std::span<const uint8_t> bytes, ActorTable& actors) {
  Reader r(bytes);
  std::vector<Change> out;
  while (!r.done()) {
    PELTO_TRY(auto magic, r.raw(4), "chunk header");
    if (!std::equal(magic.begin(), magic.end(), kMagic)) return fail("not a document chunk");
    PELTO_TRY(uint8_t kind, r.byte(), "chunk kind");
    PELTO_TRY(uint64_t len, r.uleb(), "chunk length");
    PELTO_TRY(auto body, r.raw(len), "chunk body");
    if (kind == kChunkChange) {
      PELTO_TRY(Change c, decode_change(body, actors), "change chunk");
      out.push_back(std::move(c));
    } else if (kind == kChunkDocument) {
      PELTO_TRY(auto changes, read_document(body, bytes.size(), actors), "document chunk");
      for (auto& c : changes) out.push_back(std::move(c));
    } else {
      return fail("unknown chunk kind");
    }
  }
  return out;
}

}  // namespace pelto::crdt::format
