#include "interfaces/crdt/save_format.h"

#include <algorithm>
#include <unordered_map>

#include <zstd.h>

namespace pelto::crdt::format {

using codec::Reader;
using codec::Writer;

namespace {
constexpr size_t kMaxBody = size_t{1} << 30;
constexpr int kZstdLevel = 19;

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

Bytes write_document(const std::vector<const Change*>& changes, const std::vector<ChangeHash>& heads,
                     const ActorTable& actors) {
  std::vector<uint32_t> sorted(actors.size());
  for (uint32_t i = 0; i < sorted.size(); ++i) sorted[i] = i;
  // Only actors that author or are named by changes; the table may hold others.
  std::vector<bool> used(actors.size(), false);
  for (auto* c : changes) {
    used[c->actor] = true;
    for (auto& op : c->ops)
      for (const OpId* id : {&op.obj, &op.elem, &op.start.elem, &op.end.elem})
        if (!id->is_null()) used[id->actor] = true;
    for (auto& c2 : c->ops)
      for (auto& p : c2.pred) used[p.actor] = true;
  }
  std::erase_if(sorted, [&](uint32_t a) { return !used[a]; });
  std::sort(sorted.begin(), sorted.end(), [&](uint32_t a, uint32_t b) { return actors.bytes(a) < actors.bytes(b); });
  OpCodec oc;
  oc.actor_out.assign(actors.size(), 0);
  for (size_t i = 0; i < sorted.size(); ++i) oc.actor_out[sorted[i]] = static_cast<uint32_t>(i);

  Writer w;
  w.uleb(sorted.size());
  for (auto a : sorted) w.bytes(actors.bytes(a));
  w.uleb(changes.size());
  std::unordered_map<const Change*, size_t> index;
  std::unordered_map<ChangeHash, size_t, decltype([](const ChangeHash& h) {
    size_t v;
    std::memcpy(&v, h.bytes.data(), sizeof v);
    return v;
  })> by_hash;
  int64_t last_time = 0;
  uint64_t last_start = 0;
  for (size_t i = 0; i < changes.size(); ++i) {
    const Change& c = *changes[i];
    by_hash.emplace(c.hash, i);
    w.uleb(oc.actor_out[c.actor]);
    w.sleb(static_cast<int64_t>(c.start_op - last_start));
    last_start = c.start_op;
    w.sleb(c.time_ms - last_time);
    last_time = c.time_ms;
    if (c.message) {
      w.byte(1);
      w.str(*c.message);
    } else {
      w.byte(0);
    }
    w.uleb(c.deps.size());
    for (auto& d : c.deps) w.uleb(i - by_hash.at(d));
    encode_ops(w, c.ops, oc);
  }
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
  PELTO_TRY(uint64_t nchanges, r.count(4), "change count");
  std::vector<Change> out;
  out.reserve(nchanges);
  std::vector<bool> is_dep(nchanges, false);
  std::unordered_map<uint32_t, uint64_t> seq;
  int64_t last_time = 0;
  uint64_t last_start = 0;
  for (uint64_t i = 0; i < nchanges; ++i) {
    Change c;
    PELTO_TRY(uint64_t a, r.uleb(), "change actor");
    if (a >= oc.actor_in.size()) return fail("change actor out of range");
    c.actor = oc.actor_in[a];
    c.seq = ++seq[c.actor];
    PELTO_TRY(int64_t ds, r.sleb(), "start op");
    c.start_op = last_start + static_cast<uint64_t>(ds);
    last_start = c.start_op;
    PELTO_TRY(int64_t dt, r.sleb(), "time");
    c.time_ms = static_cast<int64_t>(static_cast<uint64_t>(last_time) + static_cast<uint64_t>(dt));
    last_time = c.time_ms;
    PELTO_TRY(uint8_t has_msg, r.byte(), "message flag");
    if (has_msg > 1) return fail("bad message flag");
    if (has_msg) {
      PELTO_TRY(std::string m, r.str(), "message");
      c.message = std::move(m);
    }
    PELTO_TRY(uint64_t ndeps, r.count(1), "dependency count");
    for (uint64_t k = 0; k < ndeps; ++k) {
      PELTO_TRY(uint64_t back, r.uleb(), "dependency");
      if (back == 0 || back > i) return fail("dependency out of range");
      c.deps.push_back(out[i - back].hash);
      is_dep[i - back] = true;
    }
    std::sort(c.deps.begin(), c.deps.end());
    if (std::adjacent_find(c.deps.begin(), c.deps.end()) != c.deps.end()) return fail("repeated dependency");
    PELTO_TRY(c.ops, decode_ops(r, oc), "operations");
    if (c.ops.empty()) return fail("change without operations");
    if (c.start_op == 0 || c.start_op > (uint64_t{1} << 48) || c.width() > (uint64_t{1} << 48))
      return fail("operation counter out of range");
    seal_change(c, actors);
    out.push_back(std::move(c));
  }
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
