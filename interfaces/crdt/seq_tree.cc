#include "interfaces/crdt/seq_tree.h"

namespace pelto::crdt {

void SeqTree::pull(Node* n) {
  n->sum_all = n->len + all(n->l) + all(n->r);
  n->sum_vis = (n->vis ? n->len : 0) + vis(n->l) + vis(n->r);
}

void SeqTree::pull_up(Node* n) {
  for (; n; n = n->p) pull(n);
}

SeqTree::Node* SeqTree::make(uint32_t actor, uint64_t ctr, uint64_t len, bool v, std::u32string chars) {
  Node& n = pool_.emplace_back();
  seed_ ^= seed_ << 13;
  seed_ ^= seed_ >> 17;
  seed_ ^= seed_ << 5;
  n.prio = seed_;
  n.actor = actor;
  n.ctr = ctr;
  n.len = len;
  n.vis = v;
  n.chars = std::move(chars);
  pull(&n);
  if (by_actor_.size() <= actor) by_actor_.resize(actor + 1);
  by_actor_[actor][ctr] = &n;
  return &n;
}

SeqTree::Node* SeqTree::merge(Node* a, Node* b) {
  if (!a) return b;
  if (!b) return a;
  if (a->prio > b->prio) {
    a->r = merge(a->r, b);
    a->r->p = a;
    pull(a);
    return a;
  }
  b->l = merge(a, b->l);
  b->l->p = b;
  pull(b);
  return b;
}

// Splits so that `a` holds the first k elements; k must fall on a run boundary.
void SeqTree::split(Node* t, uint64_t k, Node*& a, Node*& b) {
  if (!t) {
    a = b = nullptr;
    return;
  }
  if (k <= all(t->l)) {
    Node* l;
    split(t->l, k, a, l);
    t->l = l;
    if (l) l->p = t;
    pull(t);
    b = t;
    if (a) a->p = nullptr;
    t->p = nullptr;
  } else {
    Node* r;
    split(t->r, k - all(t->l) - t->len, r, b);
    t->r = r;
    if (r) r->p = t;
    pull(t);
    a = t;
    if (b) b->p = nullptr;
    t->p = nullptr;
  }
}

uint64_t SeqTree::total_before(Node* n) const {
  uint64_t s = all(n->l);
  for (Node* c = n; c->p; c = c->p)
    if (c->p->r == c) s += all(c->p->l) + c->p->len;
  return s;
}

size_t SeqTree::visible_before(const Pos& p) const {
  Node* n = p.node;
  uint64_t s = vis(n->l) + (n->vis ? p.off : 0);
  for (Node* c = n; c->p; c = c->p)
    if (c->p->r == c) s += vis(c->p->l) + (c->p->vis ? c->p->len : 0);
  return s;
}

void SeqTree::insert_at(uint64_t k, Node* n) {
  Node *a, *b;
  split(root_, k, a, b);
  root_ = merge(merge(a, n), b);
  root_->p = nullptr;
}

SeqTree::Node* SeqTree::split_node(Node* n, uint64_t off) {
  std::u32string tail;
  if (!n->chars.empty()) {
    tail = n->chars.substr(off);
    n->chars.resize(off);
  }
  uint64_t k = total_before(n) + off;
  Node* t = make(n->actor, n->ctr + off, n->len - off, n->vis, std::move(tail));
  n->len = off;
  pull_up(n);
  insert_at(k, t);
  return t;
}

SeqTree::Node* SeqTree::first() const {
  Node* n = root_;
  if (!n) return nullptr;
  while (n->l) n = n->l;
  return n;
}

SeqTree::Node* SeqTree::next(Node* n) {
  if (n->r) {
    n = n->r;
    while (n->l) n = n->l;
    return n;
  }
  while (n->p && n->p->r == n) n = n->p;
  return n->p;
}

SeqTree::Node* SeqTree::prev(Node* n) {
  if (n->l) {
    n = n->l;
    while (n->r) n = n->r;
    return n;
  }
  while (n->p && n->p->l == n) n = n->p;
  return n->p;
}

SeqTree::Pos SeqTree::find_visible(size_t index) const {
  Node* n = root_;
  uint64_t i = index;
  while (n) {
    if (i < vis(n->l)) {
      n = n->l;
      continue;
    }
    i -= vis(n->l);
    if (n->vis) {
      if (i < n->len) return {n, i};
      i -= n->len;
    }
    n = n->r;
  }
  return {};
}

std::optional<SeqTree::Pos> SeqTree::find(const OpId& id) const {
  if (id.actor >= by_actor_.size()) return std::nullopt;
  auto& m = by_actor_[id.actor];
  auto it = m.upper_bound(id.counter);
  if (it == m.begin()) return std::nullopt;
  --it;
  Node* n = it->second;
  if (id.counter >= n->ctr + n->len) return std::nullopt;
  return Pos{n, id.counter - n->ctr};
}

bool SeqTree::contains_range(const OpId& first, uint64_t len) const {
  uint64_t c = first.counter, end = first.counter + len;
  while (c < end) {
    auto p = find({c, first.actor});
    if (!p) return false;
    c = p->node->ctr + p->node->len;
  }
  return true;
}

void SeqTree::integrate(const OpId& ref, const OpId& first_id, uint64_t len, std::u32string_view chars) {
  // The element after which the scan starts.
  Node* cur = nullptr;
  uint64_t off = 0;
  if (ref.is_null()) {
    cur = first();
  } else {
    Pos p = *find(ref);
    if (p.off + 1 < p.node->len) {
      cur = p.node;
      off = p.off + 1;
    } else {
      cur = next(p.node);
    }
  }
  // Skip elements with greater ids: later inserts at the same place and what follows them.
  while (cur && greater({cur->ctr + off, cur->actor}, first_id)) {
    cur = next(cur);
    off = 0;
  }
  Node* before;
  if (cur && off > 0) {
    before = cur;
    cur = split_node(cur, off);
  } else {
    before = cur ? prev(cur) : nullptr;
    if (!cur) {
      before = root_;
      if (before)
        while (before->r) before = before->r;
    }
  }
  // Typing: extend the run we append to when ids continue it.
  if (before && before->vis && before->actor == first_id.actor && before->ctr + before->len == first_id.counter &&
      before->chars.size() == (chars.empty() ? 0 : before->len)) {
    before->len += len;
    before->chars.append(chars);
    pull_up(before);
    return;
  }
  uint64_t k = cur ? total_before(cur) : all(root_);
  insert_at(k, make(first_id.actor, first_id.counter, len, true, std::u32string(chars)));
}

uint64_t SeqTree::set_visible(const OpId& first_id, uint64_t len, bool v) {
  uint64_t c = first_id.counter, end = first_id.counter + len, changed = 0;
  while (c < end) {
    Pos p = *find({c, first_id.actor});
    Node* n = p.node;
    uint64_t take = std::min(n->len - p.off, end - c);
    if (n->vis != v) {
      if (p.off > 0) n = split_node(n, p.off);
      if (n->len > take) split_node(n, take);
      n->vis = v;
      pull_up(n);
      changed += take;
    }
    c += take;
  }
  return changed;
}

}  // namespace pelto::crdt
