#pragma once
// The element order of one list or text: an order-statistic treap over runs. A run is a stretch
// of elements that sit next to each other in the sequence, have consecutive counters of one actor
// and the same visibility (typing makes long runs). Each node counts the elements and the visible
// elements of its subtree, so an index is found in O(log n); an index per actor maps a counter to
// its run, so an element id is found in O(log n) too.
//
// Insertion follows RGA: a new run goes right after its reference element, after every element
// with a greater id that follows it there (those are later or concurrent inserts at the same place
// and their descendants). Concurrent runs therefore never interleave.
//
// The tree owns its nodes; Pos values stay valid until the next write.
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "interfaces/crdt/change.h"

namespace pelto::crdt {

class SeqTree {
 public:
  struct Node {
    Node* l = nullptr;
    Node* r = nullptr;
    Node* p = nullptr;
    uint32_t prio = 0;
    uint32_t actor = 0;
    uint64_t ctr = 0;
    uint64_t len = 0;
    bool vis = true;
    uint64_t sum_all = 0;
    uint64_t sum_vis = 0;
    std::u32string chars;  // texts only; one per element
  };
  struct Pos {
    Node* node = nullptr;
    uint64_t off = 0;
    OpId id() const { return {node->ctr + off, node->actor}; }
  };

  explicit SeqTree(const ActorTable* actors) : actors_(actors) {}
  SeqTree(const SeqTree&) = delete;
  SeqTree& operator=(const SeqTree&) = delete;

  size_t visible() const { return root_ ? root_->sum_vis : 0; }
  Pos find_visible(size_t index) const;  // index < visible()
  std::optional<Pos> find(const OpId& id) const;
  bool contains_range(const OpId& first, uint64_t len) const;
  size_t visible_before(const Pos& p) const;  // visible elements before p
  bool is_visible(const Pos& p) const { return p.node->vis; }

  // Places new elements (first, first+1, ...) after `ref` (null: the head). `chars` is empty for
  // list elements, else one character per element. `ref` must exist.
  void integrate(const OpId& ref, const OpId& first, uint64_t len, std::u32string_view chars);
  // Sets the visibility of elements [first, first+len) (all must exist); returns how many changed.
  uint64_t set_visible(const OpId& first, uint64_t len, bool vis);

  // Visits runs of visible elements in order: f(const Node&).
  template <class F>
  void for_each_visible(F&& f) const {
    for (Node* n = first(); n; n = next(n))
      if (n->vis) f(*n);
  }
  Node* first() const;
  static Node* next(Node* n);
  static Node* prev(Node* n);

 private:
  static uint64_t all(Node* n) { return n ? n->sum_all : 0; }
  static uint64_t vis(Node* n) { return n ? n->sum_vis : 0; }
  static void pull(Node* n);
  static void pull_up(Node* n);
  Node* make(uint32_t actor, uint64_t ctr, uint64_t len, bool vis, std::u32string chars);
  Node* merge(Node* a, Node* b);
  void split(Node* t, uint64_t k, Node*& a, Node*& b);
  uint64_t total_before(Node* n) const;
  void insert_at(uint64_t k, Node* n);  // n becomes the run starting at element index k
  Node* split_node(Node* n, uint64_t off);  // returns the new node holding n's tail from off
  bool greater(const OpId& a, const OpId& b) const { return actors_->less(b, a); }

  const ActorTable* actors_;
  Node* root_ = nullptr;
  std::deque<Node> pool_;
  std::vector<std::map<uint64_t, Node*>> by_actor_;
  uint32_t seed_ = 0x9e3779b9u;
};

}  // namespace pelto::crdt
