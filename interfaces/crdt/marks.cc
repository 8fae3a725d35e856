// Marks of a text, resolved from the mark operations. Each mark operation is anchored to gaps
// next to elements: "after x" sits right behind x, "before x" right in front of it, so text inserted
// into the gap later (here or concurrently elsewhere) falls inside or outside the mark as the
// expand rule chose when the mark was made. Where marks of one name overlap, the greatest id wins
// per character; an unmark that wins clears the name there.
#include <algorithm>
#include <map>

#include "interfaces/crdt/op_set.h"

namespace pelto::crdt {

namespace {
size_t anchor_pos(const SeqTree& seq, const Anchor& a) {
  switch (a.kind) {
    case AnchorKind::Start: return 0;
    case AnchorKind::End: return seq.visible();
    case AnchorKind::Before: return seq.visible_before(*seq.find(a.elem));
    case AnchorKind::After: {
      auto p = *seq.find(a.elem);
      return seq.visible_before(p) + (seq.is_visible(p) ? 1 : 0);
    }
  }
  return 0;
}
}  // namespace

std::vector<MarkSpan> OpSet::marks(const Object& text) const {
  std::vector<MarkSpan> out;
  if (text.marks.empty() || !text.seq) return out;
  struct Range {
    size_t start, end;
    const MarkOp* op;
  };
  std::map<std::string_view, std::vector<Range>> by_name;
  for (auto& m : text.marks) {
    size_t s = anchor_pos(*text.seq, m.start), e = anchor_pos(*text.seq, m.end);
    if (s < e) by_name[m.name].push_back({s, e, &m});
  }
  for (auto& [name, ranges] : by_name) {
    std::vector<size_t> cuts;
    for (auto& r : ranges) {
      cuts.push_back(r.start);
      cuts.push_back(r.end);
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    // Ranges sorted by id, greatest first: the first covering one wins a segment.
    std::sort(ranges.begin(), ranges.end(), [&](const Range& a, const Range& b) { return actors_->less(b.op->id, a.op->id); });
    std::vector<MarkSpan> spans;
    for (size_t i = 0; i + 1 < cuts.size(); ++i) {
      size_t s = cuts[i], e = cuts[i + 1];
      const MarkOp* win = nullptr;
      for (auto& r : ranges)
        if (r.start <= s && e <= r.end) {
          win = r.op;
          break;
        }
      if (!win || win->unmark) continue;
      if (!spans.empty() && spans.back().end == s && spans.back().value == win->value) {
        spans.back().end = e;
      } else {
        spans.push_back(MarkSpan{s, e, std::string(name), win->value});
      }
    }
    out.insert(out.end(), spans.begin(), spans.end());
  }
  std::sort(out.begin(), out.end(), [](const MarkSpan& a, const MarkSpan& b) {
    return a.start != b.start ? a.start < b.start : a.name < b.name;
  });
  return out;
}

}  // namespace pelto::crdt
