// History and sync: commit, rollback, ingesting remote changes, heads, merge and forks.
#include <algorithm>
#include <chrono>
#include <queue>

#include "interfaces/crdt/document_impl.h"
#include "interfaces/crdt/save_format.h"

namespace pelto::crdt {

Result<OpId> Document::Impl::local(Op op) {
  if (!pending) {
    pending.emplace();
    pending->actor = self;
    pending->seq = seq_of(self) + 1;
    pending->start_op = max_op + 1;
    pending->deps = heads;
  }
  OpId id{max_op + 1, self};
  PELTO_CHECK(ops->apply(op, id), "apply operation");
  max_op += op.width();
  pending->ops.push_back(std::move(op));
  return id;
}

std::optional<ChangeHash> Document::Impl::commit(CommitOptions options) {
  if (!pending) return std::nullopt;
  Change c = std::move(*pending);
  pending.reset();
  if (c.ops.empty()) return std::nullopt;
  c.message = std::move(options.message);
  c.time_ms = options.time_ms ? *options.time_ms
                              : std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count();
  seal_change(c, actors);
  ChangeHash h = c.hash;
  record(std::move(c));
  return h;
}

size_t Document::Impl::rollback() {
  if (!pending) return 0;
  size_t n = pending->width();
  pending.reset();
  if (n) rebuild();
  return n;
}

void Document::Impl::record(Change c) {
  for (auto& d : c.deps) {
    auto it = std::lower_bound(heads.begin(), heads.end(), d);
    if (it != heads.end() && *it == d) heads.erase(it);
  }
  heads.insert(std::lower_bound(heads.begin(), heads.end(), c.hash), c.hash);
  if (actor_seq.size() <= c.actor) {
    actor_seq.resize(c.actor + 1, 0);
    actor_max_op.resize(c.actor + 1, 0);
  }
  actor_seq[c.actor] = c.seq;
  actor_max_op[c.actor] = c.max_op();
  max_op = std::max(max_op, c.max_op());
  by_hash.push(c.hash);
  history.push_back(std::move(c));
}

void Document::Impl::rebuild() {
  ops = std::make_unique<OpSet>(&actors);
  max_op = 0;
  for (auto& c : history) {
    uint64_t ctr = c.start_op;
    for (auto& op : c.ops) {
      // Every change here applied once already, in this order.
      (void)ops->apply(op, OpId{ctr, c.actor});
      ctr += op.width();
    }
    max_op = std::max(max_op, c.max_op());
  }
}

Result<void> Document::Impl::apply_remote(Change c) {
  if (c.seq != seq_of(c.actor) + 1) return failf("change seq {} does not follow {}", c.seq, seq_of(c.actor));
  if (c.actor < actor_max_op.size() && c.start_op <= actor_max_op[c.actor] && c.seq > 1)
    return fail("change reuses operation ids of its actor");
  for (auto& d : c.deps)
    if (history[*index_of(d, history.size() - 1)].max_op() >= c.start_op)
      return fail("change counter does not follow its dependencies");
  uint64_t ctr = c.start_op;
  for (auto& op : c.ops) {
    PELTO_CHECK(ops->apply(op, OpId{ctr, c.actor}), "apply change");
    ctr += op.width();
  }
  record(std::move(c));
  return {};
}

Result<IncrementalReport> Document::Impl::ingest(std::vector<Change> incoming) {
  commit({});
  IncrementalReport report;
  size_t history_before = history.size();
  auto heads_before = heads;
  auto seq_before = actor_seq;
  auto max_before = actor_max_op;
  uint64_t max_op_before = max_op;
  size_t waiting_before = waiting.size();

  auto restore = [&](Error e) -> Result<IncrementalReport> {
    by_hash.truncate(history_before);
    history.resize(history_before);
    heads = std::move(heads_before);
    actor_seq = std::move(seq_before);
    actor_max_op = std::move(max_before);
    max_op = max_op_before;
    waiting.resize(std::min(waiting.size(), waiting_before));
    rebuild();
    return fail(std::move(e));
  };

  // In causal order (a save, or changes sent as made) every change is ready when it comes.
  std::unordered_set<ChangeHash, HashOfHash> queued;
  for (auto& w : waiting) queued.insert(w.hash);
  by_hash.reserve(history.size() + incoming.size());
  if (size_t need = history.size() + incoming.size(); need > history.capacity())
    history.reserve(std::max(need, history.capacity() * 2));  // geometric: ingest runs per message
  for (auto& c : incoming) {
    if (by_hash.contains(c.hash) || queued.count(c.hash)) {
      ++report.duplicates;
      continue;
    }
    bool ready = true;
    for (auto& d : c.deps) ready = ready && index_of(d, history.size() - 1);
    if (ready) {
      auto r = apply_remote(std::move(c));
      if (!r) return restore(std::move(r.error()).context("load changes"));
      ++report.applied;
      continue;
    }
    queued.insert(c.hash);
    waiting.push_back(std::move(c));
  }
  if (waiting.empty() || (waiting.size() == waiting_before && report.applied == 0)) {
    report.waiting = waiting.size();
    return report;
  }

  // Apply whatever is ready; each applied change may make others ready.
  std::unordered_map<ChangeHash, std::vector<size_t>, HashOfHash> blocked;
  std::vector<size_t> missing(waiting.size(), 0);
  std::vector<size_t> ready;
  for (size_t i = 0; i < waiting.size(); ++i) {
    for (auto& d : waiting[i].deps)
      if (!by_hash.contains(d)) {
        ++missing[i];
        blocked[d].push_back(i);
      }
    if (missing[i] == 0) ready.push_back(i);
  }
  std::vector<bool> done(waiting.size(), false);
  // Snapshot of the waiting list, since a failure must restore it.
  std::vector<Change> snapshot;
  for (size_t i = 0; i < waiting_before; ++i) snapshot.push_back(waiting[i]);
  std::reverse(ready.begin(), ready.end());
  while (!ready.empty()) {
    size_t i = ready.back();
    ready.pop_back();
    ChangeHash h = waiting[i].hash;
    auto r = apply_remote(std::move(waiting[i]));
    if (!r) {
      waiting = std::move(snapshot);
      return restore(std::move(r.error()).context("load changes"));
    }
    done[i] = true;
    ++report.applied;
    if (auto it = blocked.find(h); it != blocked.end()) {
      auto list = std::move(it->second);
      blocked.erase(it);
      for (size_t j = list.size(); j-- > 0;)
        if (--missing[list[j]] == 0) ready.push_back(list[j]);
    }
  }
  std::vector<Change> still;
  for (size_t i = 0; i < waiting.size(); ++i)
    if (!done[i]) still.push_back(std::move(waiting[i]));
  waiting = std::move(still);
  report.waiting = waiting.size();
  return report;
}

// ---- Document: history and sync ----

std::vector<ChangeHash> Document::heads() {
  commit();
  return impl_->heads;
}

Result<IncrementalReport> Document::load_incremental(std::span<const uint8_t> bytes) {
  commit();
  PELTO_TRY(auto changes, format::read_chunks(bytes, impl_->actors), "load incremental");
  return impl_->ingest(std::move(changes));
}

Result<Document> Document::load(std::span<const uint8_t> bytes) {
  Document doc;
  PELTO_TRY(auto report, doc.load_incremental(bytes), "load");
  if (report.waiting) return failf("load: {} changes lack their dependencies", report.waiting);
  doc.impl_->saved_upto = doc.impl_->history.size();
  return doc;
}

Result<IncrementalReport> Document::merge(Document& other) {
  commit();
  other.commit();
  std::vector<Change> incoming;
  for (auto& c : other.impl_->history)
    if (!impl_->by_hash.contains(c.hash)) incoming.push_back(translate(c, other.impl_->actors, impl_->actors));
  return impl_->ingest(std::move(incoming));
}

std::vector<ChangeHash> Document::get_missing_deps(std::span<const ChangeHash> heads) {
  commit();
  std::unordered_set<ChangeHash, HashOfHash> queued;
  for (auto& w : impl_->waiting) queued.insert(w.hash);
  std::vector<ChangeHash> out;
  auto want = [&](const ChangeHash& h) {
    if (!impl_->by_hash.contains(h) && !queued.count(h)) out.push_back(h);
  };
  for (auto& w : impl_->waiting)
    for (auto& d : w.deps) want(d);
  for (auto& h : heads) want(h);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

namespace {
ChangeMeta meta_of(const Change& c, const ActorTable& actors) {
  return ChangeMeta{c.hash, ActorId{actors.bytes(c.actor)}, c.seq, c.start_op, c.time_ms, c.message, c.deps,
                    static_cast<size_t>(c.width())};
}
}  // namespace

std::optional<ChangeMeta> Document::get_change_meta(const ChangeHash& hash) const {
  auto it = impl_->by_hash.find(hash);
  if (!it) return std::nullopt;
  return meta_of(impl_->history[*it], impl_->actors);
}

std::optional<Bytes> Document::get_change_by_hash(const ChangeHash& hash) const {
  auto it = impl_->by_hash.find(hash);
  if (!it) return std::nullopt;
  Bytes out;
  format::write_change_chunk(out, encode_change(impl_->history[*it], impl_->actors));
  return out;
}

std::vector<ChangeMeta> Document::changes() const {
  std::vector<ChangeMeta> out;
  out.reserve(impl_->history.size());
  for (auto& c : impl_->history) out.push_back(meta_of(c, impl_->actors));
  return out;
}

size_t Document::change_count() const { return impl_->history.size(); }

Document Document::fork(std::optional<ActorId> actor) {
  commit();
  Document copy(actor ? *actor : impl_->self_id);
  copy.impl_->actors = impl_->actors;
  copy.impl_->self = copy.impl_->actors.intern(copy.impl_->self_id.bytes);
  copy.impl_->ops = std::make_unique<OpSet>(&copy.impl_->actors);
  for (auto& c : impl_->history) copy.impl_->record(c);
  copy.impl_->rebuild();
  return copy;
}

Result<Document> Document::fork_at(std::span<const ChangeHash> heads, std::optional<ActorId> actor) {
  commit();
  std::vector<bool> keep(impl_->history.size(), false);
  std::vector<size_t> stack;
  for (auto& h : heads) {
    auto it = impl_->by_hash.find(h);
    if (!it) return failf("fork at unknown change {}", h.hex());
    stack.push_back(*it);
  }
  while (!stack.empty()) {
    size_t i = stack.back();
    stack.pop_back();
    if (keep[i]) continue;
    keep[i] = true;
    for (auto& d : impl_->history[i].deps) stack.push_back(*impl_->by_hash.find(d));
  }
  Document copy(actor ? *actor : impl_->self_id);
  copy.impl_->actors = impl_->actors;
  copy.impl_->self = copy.impl_->actors.intern(copy.impl_->self_id.bytes);
  copy.impl_->ops = std::make_unique<OpSet>(&copy.impl_->actors);
  for (size_t i = 0; i < impl_->history.size(); ++i)
    if (keep[i]) copy.impl_->record(impl_->history[i]);
  copy.impl_->rebuild();
  return copy;
}

Change translate(const Change& c, const ActorTable& from, ActorTable& to) {
  std::vector<uint32_t> map(from.size(), UINT32_MAX);
  auto tr = [&](OpId& id) {
    if (id.is_null()) return;
    if (map[id.actor] == UINT32_MAX) map[id.actor] = to.intern(from.bytes(id.actor));
    id.actor = map[id.actor];
  };
  Change out = c;
  OpId self{1, out.actor};
  tr(self);
  out.actor = self.actor;
  for (auto& op : out.ops) {
    tr(op.obj);
    tr(op.elem);
    for (auto& p : op.pred) tr(p);
    tr(op.start.elem);
    tr(op.end.elem);
  }
  return out;
}

// ---- save ----

std::optional<size_t> Document::Impl::index_of(const ChangeHash& h, size_t hint) const {
  // Most changes depend on the change just before them.
  if (hint < history.size() && history[hint].hash == h) return hint;
  return by_hash.find(h);
}

format::SaveOrder Document::Impl::canonical_order() const {
  // Dependencies first; among the ready, the smallest hash first.
  const size_t n = history.size();
  std::vector<uint32_t> indeg(n, 0), dep_index, child_start(n + 1, 0), children;
  for (size_t i = 0; i < n; ++i)
    for (auto& d : history[i].deps) {
      size_t j = *index_of(d, i - 1);
      dep_index.push_back(static_cast<uint32_t>(j));
      ++child_start[j + 1];
      ++indeg[i];
    }
  for (size_t i = 0; i < n; ++i) child_start[i + 1] += child_start[i];
  children.resize(dep_index.size());
  {
    std::vector<uint32_t> fill(child_start.begin(), child_start.end() - 1);
    size_t k = 0;
    for (size_t i = 0; i < n; ++i)
      for (size_t e = 0; e < history[i].deps.size(); ++e) children[fill[dep_index[k++]]++] = static_cast<uint32_t>(i);
  }
  std::vector<uint32_t> dep_begin(n + 1, 0);
  for (size_t i = 0; i < n; ++i) dep_begin[i + 1] = dep_begin[i] + static_cast<uint32_t>(history[i].deps.size());

  auto cmp = [&](uint32_t a, uint32_t b) { return history[b].hash < history[a].hash; };
  std::priority_queue<uint32_t, std::vector<uint32_t>, decltype(cmp)> q(cmp);
  for (size_t i = 0; i < n; ++i)
    if (!indeg[i]) q.push(static_cast<uint32_t>(i));
  format::SaveOrder out;
  out.changes.reserve(n);
  out.dep_back.reserve(dep_index.size());
  std::vector<uint32_t> pos(n, 0);
  while (!q.empty()) {
    uint32_t i = q.top();
    q.pop();
    pos[i] = static_cast<uint32_t>(out.changes.size());
    for (uint32_t k = dep_begin[i]; k < dep_begin[i + 1]; ++k) out.dep_back.push_back(pos[i] - pos[dep_index[k]]);
    out.changes.push_back(&history[i]);
    for (uint32_t k = child_start[i]; k < child_start[i + 1]; ++k)
      if (--indeg[children[k]] == 0) q.push(children[k]);
  }
  return out;
}

Bytes Document::save() {
  commit();
  impl_->saved_upto = impl_->history.size();
  return format::write_document(impl_->canonical_order(), impl_->heads, impl_->actors);
}

Bytes Document::save_incremental() {
  commit();
  Bytes out;
  for (size_t i = impl_->saved_upto; i < impl_->history.size(); ++i)
    format::write_change_chunk(out, encode_change(impl_->history[i], impl_->actors));
  impl_->saved_upto = impl_->history.size();
  return out;
}

void Document::discard_pending_incremental() {
  commit();
  impl_->saved_upto = impl_->history.size();
}

}  // namespace pelto::crdt
