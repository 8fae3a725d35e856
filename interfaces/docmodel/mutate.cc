#include "interfaces/docmodel/mutate.h"

#include <algorithm>

#include "interfaces/base/utf8.h"
#include "interfaces/docmodel/blobstore.h"
#include "interfaces/docmodel/detail.h"

namespace pelto::model {

namespace {

using detail::flag;
using detail::obj;

std::string_view where(Region r) { return region_key(r); }

Result<void> check_splice(size_t length, size_t at, size_t del) {
  if (at > length) return failf("offset {} is beyond the text's {} characters", at, length);
  if (del > length - at) return failf("cannot delete {} characters at {} of a text of {}", del, at, length);
  return {};
}

Result<void> check_span(size_t length, size_t start, size_t end, bool allow_empty) {
  if (start > end || (!allow_empty && start == end))
    return failf("the span [{}, {}) is empty or reversed", start, end);
  if (end > length) return failf("the span [{}, {}) ends beyond the text's {} characters", start, end, length);
  return {};
}

bool same_scalar(const crdt::Value& v, const crdt::Scalar& s) {
  const crdt::Scalar* have = v.scalar();
  return have && *have == s;
}

// Whether [start, end) already carries `name` = `value` throughout.
bool fully_marked(const std::vector<crdt::MarkSpan>& marks, size_t start, size_t end, std::string_view name,
                  const crdt::Scalar& value) {
  size_t covered = start;
  std::vector<const crdt::MarkSpan*> spans;
  for (const auto& m : marks)
    if (m.name == name && m.value == value) spans.push_back(&m);
  std::sort(spans.begin(), spans.end(), [](auto* a, auto* b) { return a->start < b->start; });
  for (auto* m : spans) {
    if (m->start > covered) break;
    covered = std::max(covered, m->end);
    if (covered >= end) return true;
  }
  return covered >= end;
}

// The object under `k`, created when missing (or when something of another type is there).
Result<crdt::ObjId> child_or_create(crdt::Document& doc, const crdt::ObjId& map, std::string_view k,
                                    crdt::ObjType type) {
  if (auto existing = obj(doc, map, k, type)) return *existing;
  return with_context(doc.put_object(map, k, type), fmt::format("create \"{}\"", k));
}

}  // namespace

Result<bool> put_if_differs(crdt::Document& doc, const crdt::ObjId& map, std::string_view key, crdt::Scalar value) {
  if (auto have = doc.get(map, key); have && same_scalar(*have, value)) return false;
  PELTO_CHECK(doc.put(map, key, std::move(value)), fmt::format("write \"{}\"", key));
  return true;
}

// ---- containers ----

Result<crdt::ObjId> DocMut::ensure_container(std::optional<crdt::ObjId>& slot, std::string_view k,
                                             crdt::ObjType type) {
  if (slot) return *slot;
  if (auto existing = obj(doc_, model_.folio, k, type)) return *(slot = existing);
  PELTO_TRY(auto created, doc_.put_object(model_.folio, k, type), fmt::format("create \"{}\"", k));
  slot = created;
  return created;
}

Result<BlockList> DocMut::ensure_region(Region region) {
  auto& slot = model_.regions[static_cast<size_t>(region)];
  if (slot) return *slot;
  PELTO_TRY(auto map, child_or_create(doc_, model_.folio, region_key(region), crdt::ObjType::Map), "create a region");
  PELTO_TRY(auto order, child_or_create(doc_, map, key::order, crdt::ObjType::List), "create a region's order");
  PELTO_TRY(auto blocks, child_or_create(doc_, map, key::blocks, crdt::ObjType::Map), "create a region's blocks");
  slot = BlockList{map, order, blocks};
  return *slot;
}

Result<crdt::ObjId> DocMut::live_block(const BlockList& list, std::string_view block, std::string_view what) {
  if (auto b = detail::live_block(doc_, list, block)) return *b;
  return failf("no block \"{}\" in the {}", block, what);
}

Result<crdt::ObjId> DocMut::block_text_of(const crdt::ObjId& block_map) {
  if (auto t = obj(doc_, block_map, key::text, crdt::ObjType::Text)) return *t;
  // An older or foreign block without a text object: give it one, keeping a plain string's text.
  std::string old = detail::str(doc_, block_map, key::text).value_or("");
  PELTO_TRY(auto t, doc_.put_object(block_map, key::text, crdt::ObjType::Text), "create a block's text");
  if (!old.empty()) PELTO_CHECK(doc_.splice_text(t, 0, 0, old), "keep a block's text");
  return t;
}

// ---- text objects ----

Result<crdt::ObjId> DocMut::text_obj(std::string_view block) { return region_text_obj(Region::Body, block); }

Result<crdt::ObjId> DocMut::region_text_obj(Region region, std::string_view block) {
  PELTO_TRY(auto list, ensure_region(region), "open the region");
  PELTO_TRY(auto b, live_block(list, block, where(region)), "find the block");
  return block_text_of(b);
}

// ---- blocks ----

Result<void> DocMut::splice_text(std::string_view block, size_t at, size_t del, std::string_view text) {
  return splice_text_in(Region::Body, block, at, del, text);
}

Result<void> DocMut::splice_text_in(Region region, std::string_view block, size_t at, size_t del,
                                    std::string_view text) {
  PELTO_TRY(auto t, region_text_obj(region, block), "splice a block's text");
  PELTO_CHECK(check_splice(doc_.length(t), at, del), "splice a block's text");
  if (del == 0 && text.empty()) return {};
  return with_context(doc_.splice_text(t, at, del, text), "splice a block's text");
}

Result<std::string> DocMut::insert_block_into(const BlockList& list, std::optional<std::string_view> after,
                                              std::string_view kind, std::string_view what) {
  if (kind.empty()) return fail("a block needs a kind");
  size_t index = 0;
  if (after) {
    std::optional<size_t> found;
    if (hint_ && hint_->order == list.order && hint_->id == *after) {
      auto v = doc_.get(list.order, hint_->index);
      if (v && v->as_string() == *after) found = hint_->index;
    }
    if (!found) {
      size_t n = doc_.length(list.order);
      for (size_t i = 0; i < n && !found; ++i) {
        auto v = doc_.get(list.order, i);
        if (v && v->as_string() == *after) found = i;
      }
    }
    if (!found || !obj(doc_, list.blocks, *after, crdt::ObjType::Map))
      return failf("no block \"{}\" in the {} to insert after", *after, what);
    index = *found + 1;
  }
  std::string id = ids_.mint();
  while (doc_.get(list.blocks, id)) id = ids_.mint();
  PELTO_TRY(auto b, doc_.put_object(list.blocks, id, crdt::ObjType::Map), "create a block");
  PELTO_CHECK(doc_.put(b, key::kind, std::string(kind)), "write the block's kind");
  PELTO_CHECK(doc_.put_object(b, key::text, crdt::ObjType::Text), "create the block's text");
  PELTO_CHECK(doc_.put_object(b, key::attrs, crdt::ObjType::Map), "create the block's attributes");
  PELTO_CHECK(doc_.insert(list.order, index, id), "place the block");
  hint_ = Hint{list.order, id, index};
  return id;
}

Result<std::string> DocMut::insert_block(std::optional<std::string_view> after, std::string_view kind) {
  return insert_block_in(Region::Body, after, kind);
}

Result<std::string> DocMut::insert_block_in(Region region, std::optional<std::string_view> after,
                                            std::string_view kind) {
  PELTO_TRY(auto list, ensure_region(region), "open the region");
  return with_context(insert_block_into(list, after, kind, where(region)), "insert a block");
}

Result<void> DocMut::tombstone_block_in(Region region, std::string_view block) {
  PELTO_TRY(auto list, ensure_region(region), "open the region");
  auto b = obj(doc_, list.blocks, block, crdt::ObjType::Map);
  if (!b) return failf("no block \"{}\" in the {}", block, where(region));
  PELTO_CHECK(put_if_differs(doc_, *b, key::deleted, true), "tombstone a block");
  return {};
}

Result<void> DocMut::set_kind_in(Region region, std::string_view block, std::string_view kind) {
  if (kind.empty()) return fail("a block needs a kind");
  PELTO_TRY(auto list, ensure_region(region), "open the region");
  PELTO_TRY(auto b, live_block(list, block, where(region)), "set a block's kind");
  PELTO_CHECK(put_if_differs(doc_, b, key::kind, std::string(kind)), "set a block's kind");
  return {};
}

Result<void> DocMut::set_attr_in(Region region, std::string_view block, std::string_view k, crdt::Scalar value) {
  if (k.empty()) return fail("an attribute needs a key");
  PELTO_TRY(auto list, ensure_region(region), "open the region");
  PELTO_TRY(auto b, live_block(list, block, where(region)), "set a block attribute");
  PELTO_TRY(auto attrs, child_or_create(doc_, b, key::attrs, crdt::ObjType::Map), "create the block's attributes");
  PELTO_CHECK(put_if_differs(doc_, attrs, k, std::move(value)), "set a block attribute");
  return {};
}

Result<void> DocMut::set_mark_in(Region region, std::string_view block, size_t start, size_t end,
                                 std::string_view name, crdt::Scalar value) {
  if (name.empty()) return fail("a mark needs a name");
  PELTO_TRY(auto t, region_text_obj(region, block), "mark a block's text");
  PELTO_CHECK(check_span(doc_.length(t), start, end, false), "mark a block's text");
  if (fully_marked(doc_.marks(t), start, end, name, value)) return {};
  return with_context(doc_.mark(t, start, end, name, std::move(value), expand_for(name)), "mark a block's text");
}

Result<void> DocMut::remove_mark_in(Region region, std::string_view block, size_t start, size_t end,
                                    std::string_view name) {
  PELTO_TRY(auto t, region_text_obj(region, block), "unmark a block's text");
  PELTO_CHECK(check_span(doc_.length(t), start, end, true), "unmark a block's text");
  bool present = false;
  for (const auto& m : doc_.marks(t))
    if (m.name == name && m.start < end && start < m.end) present = true;
  if (!present) return {};
  return with_context(doc_.unmark(t, start, end, name, expand_for(name)), "unmark a block's text");
}

// ---- staged writes ----

Result<void> DocMut::stage_attr(std::string_view block, std::string_view k, crdt::Scalar value) {
  if (!ids_.stages_writes()) return set_attr_in(Region::Body, block, k, std::move(value));
  if (k.empty()) return fail("an attribute needs a key");
  PELTO_TRY(auto list, ensure_region(Region::Body), "open the region");
  PELTO_CHECK(live_block(list, block, where(Region::Body)), "stage a block attribute");
  staged_attrs_[{std::string(block), std::string(k)}] = std::move(value);
  return {};
}

Result<void> DocMut::stage_mark(Region region, std::string_view block, size_t start, size_t end,
                                std::string_view name, crdt::Scalar value) {
  if (!ids_.stages_writes()) return set_mark_in(region, block, start, end, name, std::move(value));
  if (name.empty()) return fail("a mark needs a name");
  PELTO_TRY(auto t, region_text_obj(region, block), "stage a mark");
  PELTO_CHECK(check_span(doc_.length(t), start, end, false), "stage a mark");
  auto& last = staged_marks_;
  if (!last.empty()) {
    auto& prev = last.back();
    if (prev.region == region && prev.block == block && prev.name == name && prev.value == value &&
        start <= prev.end && prev.start <= end) {
      prev.start = std::min(prev.start, start);
      prev.end = std::max(prev.end, end);
      return {};
    }
  }
  last.push_back(StagedMark{region, std::string(block), start, end, std::string(name), std::move(value)});
  return {};
}

Result<void> DocMut::flush_staged() {
  auto attrs = std::move(staged_attrs_);
  auto marks = std::move(staged_marks_);
  staged_attrs_.clear();
  staged_marks_.clear();
  for (auto& [where_key, value] : attrs)
    PELTO_CHECK(set_attr_in(Region::Body, where_key.first, where_key.second, std::move(value)), "write a staged attribute");
  for (auto& m : marks)
    PELTO_CHECK(set_mark_in(m.region, m.block, m.start, m.end, m.name, std::move(m.value)), "write a staged mark");
  return {};
}

// ---- tracked changes ----

Result<std::string> DocMut::record_change(ChangeKind kind, std::string_view block, std::string_view author,
                                          std::string_view date) {
  PELTO_TRY(auto changes, ensure_container(model_.changes, key::changes, crdt::ObjType::Map), "open the changes");
  std::string id = ids_.mint();
  while (doc_.get(changes, id)) id = ids_.mint();
  PELTO_TRY(auto c, doc_.put_object(changes, id, crdt::ObjType::Map), "record a tracked change");
  PELTO_CHECK(doc_.put(c, key::kind, std::string(kind == ChangeKind::Insertion ? "insertion" : "deletion")), "kind");
  PELTO_CHECK(doc_.put(c, key::author, std::string(author)), "author");
  PELTO_CHECK(doc_.put(c, key::date, std::string(date)), "date");
  PELTO_CHECK(doc_.put(c, key::block, std::string(block)), "block");
  return id;
}

Result<std::string> DocMut::insert_tracked(std::string_view block, size_t at, std::string_view text,
                                           std::string_view author, std::string_view date) {
  if (text.empty()) return fail("a tracked insertion needs text");
  PELTO_TRY(auto t, text_obj(block), "insert tracked text");
  PELTO_CHECK(check_splice(doc_.length(t), at, 0), "insert tracked text");
  PELTO_CHECK(doc_.splice_text(t, at, 0, text), "insert tracked text");
  PELTO_TRY(auto id, record_change(ChangeKind::Insertion, block, author, date), "insert tracked text");
  PELTO_CHECK(doc_.mark(t, at, at + utf8::length(text), mark::insertion, id, expand_for(mark::insertion)),
              "mark the tracked insertion");
  return id;
}

Result<std::string> DocMut::delete_tracked(std::string_view block, size_t start, size_t end,
                                           std::string_view author, std::string_view date) {
  PELTO_TRY(auto t, text_obj(block), "delete tracked text");
  PELTO_CHECK(check_span(doc_.length(t), start, end, false), "delete tracked text");
  PELTO_TRY(auto id, record_change(ChangeKind::Deletion, block, author, date), "delete tracked text");
  PELTO_CHECK(doc_.mark(t, start, end, mark::deletion, id, expand_for(mark::deletion)), "mark the tracked deletion");
  return id;
}

Result<crdt::ObjId> DocMut::open_change(std::string_view id, ChangeKind& kind) {
  auto k = change_kind(doc_, model_, id);
  if (!k) return failf("no open tracked change \"{}\"", id);
  kind = *k;
  return *obj(doc_, *model_.changes, id, crdt::ObjType::Map);
}

Result<void> DocMut::resolve_change(std::string_view id, bool accept) {
  ChangeKind kind;
  PELTO_TRY(auto entry, open_change(id, kind), accept ? "accept a change" : "reject a change");
  std::string_view name = kind == ChangeKind::Insertion ? mark::insertion : mark::deletion;
  bool remove_text = (kind == ChangeKind::Insertion) != accept;
  auto block = detail::str(doc_, entry, key::block);
  auto bmap = block ? block_obj(doc_, model_, *block) : std::nullopt;
  auto t = bmap ? obj(doc_, *bmap, key::text, crdt::ObjType::Text) : std::nullopt;
  if (t) {
    std::vector<crdt::MarkSpan> spans;
    for (auto& m : doc_.marks(*t)) {
      auto s = std::get_if<std::string>(&m.value);
      if (m.name == name && s && *s == id && m.start < m.end) spans.push_back(std::move(m));
    }
    std::sort(spans.begin(), spans.end(), [](const auto& a, const auto& b) { return a.start > b.start; });
    for (const auto& m : spans) {
      if (remove_text)
        PELTO_CHECK(doc_.splice_text(*t, m.start, m.end - m.start, ""), "remove the change's text");
      else
        PELTO_CHECK(doc_.unmark(*t, m.start, m.end, name, expand_for(name)), "clear the change's mark");
    }
  }
  PELTO_CHECK(put_if_differs(doc_, entry, key::resolved, true), "resolve the change");
  return {};
}

Result<void> DocMut::accept_change(std::string_view id) { return resolve_change(id, true); }
Result<void> DocMut::reject_change(std::string_view id) { return resolve_change(id, false); }

// ---- comments ----

Result<crdt::ObjId> DocMut::comment_obj(std::string_view comment) {
  if (model_.comments)
    if (auto c = obj(doc_, *model_.comments, comment, crdt::ObjType::Map); c && !flag(doc_, *c, key::deleted))
      return *c;
  return failf("no comment \"{}\"", comment);
}

Result<BlockList> DocMut::comment_blocks(std::string_view comment) {
  PELTO_TRY(auto c, comment_obj(comment), "open the comment");
  if (auto list = detail::block_list(doc_, c)) return *list;
  PELTO_TRY(auto order, child_or_create(doc_, c, key::order, crdt::ObjType::List), "create the comment's order");
  PELTO_TRY(auto blocks, child_or_create(doc_, c, key::blocks, crdt::ObjType::Map), "create the comment's blocks");
  return BlockList{c, order, blocks};
}

Result<std::string> DocMut::insert_comment(std::string_view author, std::string_view date) {
  PELTO_TRY(auto comments, ensure_container(model_.comments, key::comments, crdt::ObjType::Map), "open the comments");
  std::string id = ids_.mint();
  while (doc_.get(comments, id)) id = ids_.mint();
  PELTO_TRY(auto c, doc_.put_object(comments, id, crdt::ObjType::Map), "create a comment");
  PELTO_CHECK(doc_.put(c, key::author, std::string(author)), "comment author");
  PELTO_CHECK(doc_.put(c, key::date, std::string(date)), "comment date");
  PELTO_CHECK(doc_.put_object(c, key::order, crdt::ObjType::List), "comment order");
  PELTO_CHECK(doc_.put_object(c, key::blocks, crdt::ObjType::Map), "comment blocks");
  PELTO_CHECK(doc_.put_object(c, key::reply_order, crdt::ObjType::List), "comment reply order");
  PELTO_CHECK(doc_.put_object(c, key::replies, crdt::ObjType::Map), "comment replies");
  return id;
}

Result<std::string> DocMut::insert_comment_block(std::string_view comment, std::optional<std::string_view> after,
                                                 std::string_view kind) {
  PELTO_TRY(auto list, comment_blocks(comment), "insert a comment block");
  return with_context(insert_block_into(list, after, kind, "comment"), "insert a comment block");
}

Result<void> DocMut::splice_comment_text(std::string_view comment, std::string_view block, size_t at, size_t del,
                                         std::string_view text) {
  PELTO_TRY(auto list, comment_blocks(comment), "splice a comment's text");
  PELTO_TRY(auto b, live_block(list, block, "comment"), "splice a comment's text");
  PELTO_TRY(auto t, block_text_of(b), "splice a comment's text");
  PELTO_CHECK(check_splice(doc_.length(t), at, del), "splice a comment's text");
  if (del == 0 && text.empty()) return {};
  return with_context(doc_.splice_text(t, at, del, text), "splice a comment's text");
}

Result<void> DocMut::add_comment_mark(std::string_view block, size_t start, size_t end, std::string_view comment) {
  PELTO_TRY(auto c, comment_obj(comment), "anchor a comment");
  PELTO_TRY(auto t, text_obj(block), "anchor a comment");
  PELTO_CHECK(check_span(doc_.length(t), start, end, false), "anchor a comment");
  PELTO_CHECK(put_if_differs(doc_, c, key::block, std::string(block)), "anchor a comment");
  PELTO_CHECK(doc_.mark(t, start, end, mark::comment, std::string(comment), expand_for(mark::comment)),
              "anchor a comment");
  return {};
}

Result<std::string> DocMut::add_comment_reply(std::string_view comment, std::string_view author,
                                              std::string_view date, std::string_view text) {
  PELTO_TRY(auto c, comment_obj(comment), "reply to a comment");
  PELTO_TRY(auto order, child_or_create(doc_, c, key::reply_order, crdt::ObjType::List), "create the reply order");
  PELTO_TRY(auto replies, child_or_create(doc_, c, key::replies, crdt::ObjType::Map), "create the replies");
  std::string id = ids_.mint();
  while (doc_.get(replies, id)) id = ids_.mint();
  PELTO_TRY(auto r, doc_.put_object(replies, id, crdt::ObjType::Map), "create a reply");
  PELTO_CHECK(doc_.put(r, key::author, std::string(author)), "reply author");
  PELTO_CHECK(doc_.put(r, key::date, std::string(date)), "reply date");
  PELTO_TRY(auto t, doc_.put_object(r, key::text, crdt::ObjType::Text), "reply text");
  if (!text.empty()) PELTO_CHECK(doc_.splice_text(t, 0, 0, text), "reply text");
  PELTO_CHECK(doc_.insert(order, doc_.length(order), id), "place the reply");
  return id;
}

Result<void> DocMut::remove_comment_reply(std::string_view comment, std::string_view reply) {
  auto c = model_.comments ? obj(doc_, *model_.comments, comment, crdt::ObjType::Map) : std::nullopt;
  auto replies = c ? obj(doc_, *c, key::replies, crdt::ObjType::Map) : std::nullopt;
  auto r = replies ? obj(doc_, *replies, reply, crdt::ObjType::Map) : std::nullopt;
  if (!r) return failf("no reply \"{}\" to comment \"{}\"", reply, comment);
  PELTO_CHECK(put_if_differs(doc_, *r, key::deleted, true), "remove a reply");
  return {};
}

Result<void> DocMut::tombstone_comment(std::string_view id) {
  auto c = model_.comments ? obj(doc_, *model_.comments, id, crdt::ObjType::Map) : std::nullopt;
  if (!c) return failf("no comment \"{}\"", id);
  PELTO_CHECK(put_if_differs(doc_, *c, key::deleted, true), "tombstone a comment");
  return {};
}

// ---- fields, notes, bookmarks, blobs, metadata, styles ----

Result<void> DocMut::insert_page_number_field(Region region, std::string_view block, size_t at) {
  PELTO_TRY(auto t, region_text_obj(region, block), "insert a page-number field");
  PELTO_CHECK(check_splice(doc_.length(t), at, 0), "insert a page-number field");
  PELTO_CHECK(doc_.splice_text(t, at, 0, mark::field_char), "insert a page-number field");
  PELTO_CHECK(doc_.mark(t, at, at + 1, mark::field, std::string(mark::page_number), expand_for(mark::field)),
              "mark the page-number field");
  return {};
}

Result<std::string> DocMut::insert_note(std::string_view marker, std::span<const std::string> pieces) {
  PELTO_TRY(auto notes, ensure_container(model_.notes, key::notes, crdt::ObjType::Map), "open the notes");
  std::string id = ids_.mint();
  while (doc_.get(notes, id)) id = ids_.mint();
  PELTO_TRY(auto n, doc_.put_object(notes, id, crdt::ObjType::Map), "create a note");
  PELTO_CHECK(doc_.put(n, key::marker, std::string(marker)), "note marker");
  PELTO_TRY(auto list, doc_.put_object(n, key::pieces, crdt::ObjType::List), "note pieces");
  for (size_t i = 0; i < pieces.size(); ++i) PELTO_CHECK(doc_.insert(list, i, pieces[i]), "note piece");
  return id;
}

Result<void> DocMut::tombstone_note(std::string_view id) {
  auto n = model_.notes ? obj(doc_, *model_.notes, id, crdt::ObjType::Map) : std::nullopt;
  if (!n) return failf("no note \"{}\"", id);
  PELTO_CHECK(put_if_differs(doc_, *n, key::deleted, true), "tombstone a note");
  return {};
}

Result<void> DocMut::set_bookmark(std::string_view name, std::string_view block, size_t offset) {
  if (name.empty()) return fail("a bookmark needs a name");
  PELTO_TRY(auto t, text_obj(block), "set a bookmark");
  PELTO_CHECK(check_splice(doc_.length(t), offset, 0), "set a bookmark");
  PELTO_TRY(auto marks, ensure_container(model_.bookmarks, key::bookmarks, crdt::ObjType::Map), "open the bookmarks");
  PELTO_TRY(auto b, child_or_create(doc_, marks, name, crdt::ObjType::Map), "create a bookmark");
  PELTO_CHECK(put_if_differs(doc_, b, key::block, std::string(block)), "bookmark block");
  PELTO_CHECK(put_if_differs(doc_, b, key::offset, static_cast<int64_t>(offset)), "bookmark offset");
  if (flag(doc_, b, key::deleted)) PELTO_CHECK(doc_.put(b, key::deleted, false), "revive a bookmark");
  return {};
}

Result<void> DocMut::remove_bookmark(std::string_view name) {
  auto b = model_.bookmarks ? obj(doc_, *model_.bookmarks, name, crdt::ObjType::Map) : std::nullopt;
  if (!b) return failf("no bookmark \"{}\"", name);
  PELTO_CHECK(put_if_differs(doc_, *b, key::deleted, true), "remove a bookmark");
  return {};
}

Result<std::string> DocMut::put_blob(std::span<const uint8_t> bytes) {
  PELTO_TRY(auto hash, blobstore::put(bytes), "store the blob on this machine");
  PELTO_TRY(auto blobs, ensure_container(model_.blobs, key::blobs, crdt::ObjType::Map), "open the blobs");
  if (auto have = doc_.get(blobs, hash); have && have->scalar() && std::holds_alternative<crdt::Bytes>(*have->scalar()))
    return hash;
  PELTO_CHECK(doc_.put(blobs, hash, crdt::Bytes(bytes.begin(), bytes.end())), "put the blob in the document");
  return hash;
}

Result<void> DocMut::set_meta_str(std::string_view k, std::string_view text) {
  if (k.empty()) return fail("a metadata entry needs a key");
  PELTO_TRY(auto meta, ensure_container(model_.meta, key::meta, crdt::ObjType::Map), "open the metadata");
  PELTO_CHECK(put_if_differs(doc_, meta, k, std::string(text)), "set a metadata entry");
  return {};
}

Result<void> DocMut::set_style(std::string_view style, const Attrs& properties) {
  if (style.empty()) return fail("a style needs an id");
  PELTO_TRY(auto styles, ensure_container(model_.styles, key::styles, crdt::ObjType::Map), "open the styles");
  auto s = obj(doc_, styles, style, crdt::ObjType::Map);
  if (s && flag(doc_, *s, key::deleted)) return failf("style \"{}\" is deleted", style);
  if (!s) {
    PELTO_TRY(auto created, doc_.put_object(styles, style, crdt::ObjType::Map), "create a style");
    s = created;
  }
  PELTO_TRY(auto props, child_or_create(doc_, *s, key::props, crdt::ObjType::Map), "create a style's properties");
  for (const auto& [k, v] : properties) PELTO_CHECK(put_if_differs(doc_, props, k, v), "set a style property");
  return {};
}

Result<void> DocMut::tombstone_style(std::string_view style) {
  if (is_builtin_style(style)) return failf("the built-in style \"{}\" cannot be deleted", style);
  auto s = model_.styles ? obj(doc_, *model_.styles, style, crdt::ObjType::Map) : std::nullopt;
  if (!s) return failf("no style \"{}\"", style);
  PELTO_CHECK(put_if_differs(doc_, *s, key::deleted, true), "tombstone a style");
  return {};
}

}  // namespace pelto::model
