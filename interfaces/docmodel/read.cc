#include "interfaces/docmodel/read.h"

#include <algorithm>
#include <unordered_set>

#include "interfaces/docmodel/detail.h"

namespace pelto::model {

namespace {

using detail::flag;
using detail::obj;
using detail::str;

std::vector<MarkSpan> convert_marks(const std::vector<crdt::MarkSpan>& in) {
  std::vector<MarkSpan> out;
  out.reserve(in.size());
  for (const auto& m : in) {
    auto value = MarkValue::from_scalar(m.value);
    if (!value || m.start >= m.end) continue;
    out.push_back(MarkSpan{m.start, m.end, m.name, std::move(*value)});
  }
  return out;
}

Attrs read_attrs(const crdt::Document& doc, const crdt::ObjId& map) {
  Attrs out;
  for (auto& k : doc.keys(map)) {
    auto v = doc.get(map, k);
    if (v && !v->is_object()) out.emplace(std::move(k), *v->scalar());
  }
  return out;
}

// `block_map` is a live block (for_each_live_block checked its tombstone).
Block read_block(const crdt::Document& doc, const crdt::ObjId& block_map, std::string id) {
  Block b;
  b.id = std::move(id);
  b.kind = str(doc, block_map, key::kind).value_or("paragraph");
  if (auto t = obj(doc, block_map, key::text, crdt::ObjType::Text)) {
    b.text = doc.text(*t);
    b.marks = convert_marks(doc.marks(*t));
  } else if (auto plain = str(doc, block_map, key::text)) {
    b.text = std::move(*plain);
  }
  if (auto a = obj(doc, block_map, key::attrs, crdt::ObjType::Map)) b.attrs = read_attrs(doc, *a);
  return b;
}

template <class F>
void for_each_live_block(const crdt::Document& doc, const BlockList& list, F&& f) {
  size_t n = doc.length(list.order);
  std::unordered_set<std::string> seen;
  seen.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    auto v = doc.get(list.order, i);
    if (!v) continue;
    auto id = v->as_string();
    if (!id || !seen.insert(*id).second) continue;
    auto b = obj(doc, list.blocks, *id, crdt::ObjType::Map);
    if (!b || flag(doc, *b, key::deleted)) continue;
    f(std::move(*id), *b);
  }
}

std::vector<Block> read_blocks(const crdt::Document& doc, const BlockList& list) {
  std::vector<Block> out;
  out.reserve(doc.length(list.order));
  for_each_live_block(doc, list, [&](std::string id, const crdt::ObjId& b) {
    out.push_back(read_block(doc, b, std::move(id)));
  });
  return out;
}

// The extent of the marks `name` = `id` in one live body block.
std::optional<Range> anchored_range(const crdt::Document& doc, const Model& model, const crdt::ObjId& entry,
                                    std::string_view name, std::string_view id) {
  auto block = str(doc, entry, key::block);
  if (!block) return std::nullopt;
  auto bmap = block_obj(doc, model, *block);
  if (!bmap) return std::nullopt;
  auto t = obj(doc, *bmap, key::text, crdt::ObjType::Text);
  if (!t) return std::nullopt;
  std::optional<Range> r;
  for (const auto& m : doc.marks(*t)) {
    auto s = std::get_if<std::string>(&m.value);
    if (m.name != name || !s || *s != id || m.start >= m.end) continue;
    if (!r) r = Range{*block, m.start, m.end};
    r->start = std::min(r->start, m.start);
    r->end = std::max(r->end, m.end);
  }
  return r;
}

std::optional<ChangeKind> kind_of(const crdt::Document& doc, const crdt::ObjId& entry) {
  auto k = str(doc, entry, key::kind);
  if (k == "insertion") return ChangeKind::Insertion;
  if (k == "deletion") return ChangeKind::Deletion;
  return std::nullopt;
}

std::optional<crdt::ObjId> open_change_entry(const crdt::Document& doc, const Model& model, std::string_view id) {
  if (!model.changes) return std::nullopt;
  auto c = obj(doc, *model.changes, id, crdt::ObjType::Map);
  if (!c || flag(doc, *c, key::resolved) || !kind_of(doc, *c)) return std::nullopt;
  return c;
}

std::optional<crdt::ObjId> live_comment(const crdt::Document& doc, const Model& model, std::string_view id) {
  if (!model.comments) return std::nullopt;
  auto c = obj(doc, *model.comments, id, crdt::ObjType::Map);
  if (!c || flag(doc, *c, key::deleted)) return std::nullopt;
  return c;
}

std::vector<Reply> read_replies(const crdt::Document& doc, const crdt::ObjId& comment) {
  std::vector<Reply> out;
  auto order = obj(doc, comment, key::reply_order, crdt::ObjType::List);
  auto replies = obj(doc, comment, key::replies, crdt::ObjType::Map);
  if (!order || !replies) return out;
  std::unordered_set<std::string> seen;
  for (auto& id : detail::strings(doc, *order)) {
    if (!seen.insert(id).second) continue;
    auto r = obj(doc, *replies, id, crdt::ObjType::Map);
    if (!r || flag(doc, *r, key::deleted)) continue;
    out.push_back(Reply{id, str(doc, *r, key::author).value_or(""), str(doc, *r, key::date).value_or(""),
                        detail::text_value(doc, *r, key::text).value_or("")});
  }
  return out;
}

}  // namespace

std::optional<std::string> Block::attr_str(std::string_view key) const {
  auto it = attrs.find(key);
  if (it == attrs.end()) return std::nullopt;
  if (auto s = std::get_if<std::string>(&it->second)) return *s;
  return std::nullopt;
}
std::optional<int64_t> Block::attr_int(std::string_view key) const {
  auto it = attrs.find(key);
  if (it == attrs.end()) return std::nullopt;
  return crdt::Value{it->second}.as_int();
}
std::optional<double> Block::attr_f64(std::string_view key) const {
  auto it = attrs.find(key);
  if (it == attrs.end()) return std::nullopt;
  return crdt::Value{it->second}.as_f64();
}
std::optional<bool> Block::attr_bool(std::string_view key) const {
  auto it = attrs.find(key);
  if (it == attrs.end()) return std::nullopt;
  if (auto b = std::get_if<bool>(&it->second)) return *b;
  return std::nullopt;
}

const Block* RegionSnapshot::find(std::string_view id) const {
  for (const auto& b : blocks)
    if (b.id == id) return &b;
  return nullptr;
}
std::optional<size_t> RegionSnapshot::index_of(std::string_view id) const {
  for (size_t i = 0; i < blocks.size(); ++i)
    if (blocks[i].id == id) return i;
  return std::nullopt;
}

std::string Comment::text() const {
  std::string out;
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (i) out += '\n';
    out += blocks[i].text;
  }
  return out;
}

std::string Style::name() const {
  auto it = props.find("name");
  if (it != props.end())
    if (auto s = std::get_if<std::string>(&it->second); s && !s->empty()) return *s;
  return id;
}

const Comment* Snapshot::comment(std::string_view id) const {
  for (const auto& c : comments)
    if (c.id == id) return &c;
  return nullptr;
}
const TrackedChange* Snapshot::change(std::string_view id) const {
  for (const auto& c : changes)
    if (c.id == id) return &c;
  return nullptr;
}
const Style* Snapshot::style(std::string_view id) const {
  for (const auto& s : styles)
    if (s.id == id) return &s;
  return nullptr;
}

RegionSnapshot materialize_region(const crdt::Document& doc, const Model& model, Region region) {
  RegionSnapshot out;
  if (const auto& list = model.region(region)) out.blocks = read_blocks(doc, *list);
  return out;
}

Snapshot materialize(const crdt::Document& doc, const Model& model) {
  Snapshot s;
  for (Region r : kRegions) {
    s.regions[static_cast<size_t>(r)] = materialize_region(doc, model, r);
    for (const auto& b : s.region(r).blocks)
      for (const auto& m : b.marks)
        if (m.name == mark::field)
          if (auto kind = std::get_if<std::string>(&m.value.v))
            for (size_t at = m.start; at < m.end; ++at) s.fields.push_back(Field{r, b.id, at, *kind});
  }
  if (model.comments) {
    for (const auto& id : doc.keys(*model.comments)) {
      auto c = live_comment(doc, model, id);
      if (!c) continue;
      Comment comment{id, str(doc, *c, key::author).value_or(""), str(doc, *c, key::date).value_or(""), {}, {}, {}};
      if (auto list = detail::block_list(doc, *c)) comment.blocks = read_blocks(doc, *list);
      comment.replies = read_replies(doc, *c);
      comment.range = anchored_range(doc, model, *c, mark::comment, id);
      s.comments.push_back(std::move(comment));
    }
  }
  if (model.changes) {
    for (const auto& id : doc.keys(*model.changes)) {
      auto c = open_change_entry(doc, model, id);
      if (!c) continue;
      TrackedChange change{id, *kind_of(doc, *c), str(doc, *c, key::author).value_or(""),
                           str(doc, *c, key::date).value_or(""), {}};
      change.range = anchored_range(doc, model, *c,
                                    change.kind == ChangeKind::Insertion ? mark::insertion : mark::deletion, id);
      s.changes.push_back(std::move(change));
    }
  }
  if (model.styles) {
    for (const auto& id : doc.keys(*model.styles)) {
      auto st = obj(doc, *model.styles, id, crdt::ObjType::Map);
      if (!st || flag(doc, *st, key::deleted)) continue;
      Style style{id, {}};
      if (auto props = obj(doc, *st, key::props, crdt::ObjType::Map)) style.props = read_attrs(doc, *props);
      s.styles.push_back(std::move(style));
    }
  }
  if (model.notes) {
    for (const auto& id : doc.keys(*model.notes)) {
      auto n = obj(doc, *model.notes, id, crdt::ObjType::Map);
      if (!n || flag(doc, *n, key::deleted)) continue;
      Note note{id, str(doc, *n, key::marker).value_or(""), {}};
      if (auto pieces = obj(doc, *n, key::pieces, crdt::ObjType::List)) note.pieces = detail::strings(doc, *pieces);
      s.notes.push_back(std::move(note));
    }
  }
  if (model.bookmarks) {
    for (const auto& name : doc.keys(*model.bookmarks)) {
      auto b = obj(doc, *model.bookmarks, name, crdt::ObjType::Map);
      if (!b || flag(doc, *b, key::deleted)) continue;
      auto block = str(doc, *b, key::block);
      if (!block) continue;
      auto off = doc.get(*b, key::offset);
      s.bookmarks.push_back(Bookmark{name, *block, off ? static_cast<size_t>(off->as_uint().value_or(0)) : 0});
    }
  }
  if (model.meta) {
    for (const auto& k : doc.keys(*model.meta))
      if (auto v = str(doc, *model.meta, k)) s.meta.emplace(k, std::move(*v));
  }
  return s;
}

std::vector<std::string> blocks_in_order_in(const crdt::Document& doc, const Model& model, Region region) {
  std::vector<std::string> out;
  if (const auto& list = model.region(region))
    for_each_live_block(doc, *list, [&](std::string id, const crdt::ObjId&) { out.push_back(std::move(id)); });
  return out;
}

std::vector<std::string> blocks_in_order(const crdt::Document& doc, const Model& model) {
  return blocks_in_order_in(doc, model, Region::Body);
}

std::optional<std::string> block_text(const crdt::Document& doc, const Model& model, std::string_view block) {
  auto b = block_obj(doc, model, block);
  if (!b) return std::nullopt;
  return detail::text_value(doc, *b, key::text);
}

std::vector<std::string> change_ids(const crdt::Document& doc, const Model& model) {
  std::vector<std::string> out;
  if (!model.changes) return out;
  for (auto& id : doc.keys(*model.changes))
    if (open_change_entry(doc, model, id)) out.push_back(std::move(id));
  return out;
}

std::optional<Range> change_range(const crdt::Document& doc, const Model& model, std::string_view id) {
  auto c = open_change_entry(doc, model, id);
  if (!c) return std::nullopt;
  auto kind = *kind_of(doc, *c);
  return anchored_range(doc, model, *c, kind == ChangeKind::Insertion ? mark::insertion : mark::deletion, id);
}

std::optional<ChangeKind> change_kind(const crdt::Document& doc, const Model& model, std::string_view id) {
  auto c = open_change_entry(doc, model, id);
  if (!c) return std::nullopt;
  return kind_of(doc, *c);
}

std::optional<Range> comment_range(const crdt::Document& doc, const Model& model, std::string_view id) {
  // A resolved comment still tells where it was anchored, so resolving can clear its mark.
  if (!model.comments) return std::nullopt;
  auto c = obj(doc, *model.comments, id, crdt::ObjType::Map);
  if (!c) return std::nullopt;
  return anchored_range(doc, model, *c, mark::comment, id);
}

std::vector<std::string> comment_reply_ids(const crdt::Document& doc, const Model& model, std::string_view comment) {
  std::vector<std::string> out;
  if (!model.comments) return out;
  auto c = obj(doc, *model.comments, comment, crdt::ObjType::Map);
  if (!c) return out;
  for (auto& r : read_replies(doc, *c)) out.push_back(std::move(r.id));
  return out;
}

std::vector<std::string> style_ids(const crdt::Document& doc, const Model& model) {
  std::vector<std::string> out;
  if (!model.styles) return out;
  for (auto& id : doc.keys(*model.styles))
    if (obj(doc, *model.styles, id, crdt::ObjType::Map)) out.push_back(std::move(id));
  return out;
}

bool style_is_tombstoned(const crdt::Document& doc, const Model& model, std::string_view style) {
  if (!model.styles) return false;
  auto st = obj(doc, *model.styles, style, crdt::ObjType::Map);
  return st && flag(doc, *st, key::deleted);
}

std::optional<crdt::ObjId> block_obj(const crdt::Document& doc, const Model& model, std::string_view block) {
  return region_obj(doc, model, Region::Body, block);
}

std::optional<crdt::ObjId> region_obj(const crdt::Document& doc, const Model& model, Region region) {
  (void)doc;
  if (const auto& list = model.region(region)) return list->map;
  return std::nullopt;
}

std::optional<crdt::ObjId> region_obj(const crdt::Document& doc, const Model& model, Region region,
                                      std::string_view block) {
  const auto& list = model.region(region);
  if (!list) return std::nullopt;
  return detail::live_block(doc, *list, block);
}

}  // namespace pelto::model
