#pragma once
// Tolerant readers shared by the schema's readers and writers (not part of the interface): a
// missing or mistyped value reads as nothing.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interfaces/crdt/document.h"
#include "interfaces/docmodel/schema.h"

namespace pelto::model::detail {

inline std::optional<crdt::ObjId> obj(const crdt::Document& doc, const crdt::ObjId& map, std::string_view k,
                                      crdt::ObjType type) {
  auto v = doc.get(map, k);
  if (!v || !v->is_object() || v->object_type != type) return std::nullopt;
  return *v->object();
}

inline std::optional<std::string> str(const crdt::Document& doc, const crdt::ObjId& map, std::string_view k) {
  auto v = doc.get(map, k);
  if (!v) return std::nullopt;
  return v->as_string();
}

inline bool flag(const crdt::Document& doc, const crdt::ObjId& map, std::string_view k) {
  auto v = doc.get(map, k);
  return v && v->as_bool().value_or(false);
}

// A text held either as a text object or as a plain string.
inline std::optional<std::string> text_value(const crdt::Document& doc, const crdt::ObjId& map,
                                             std::string_view k) {
  auto v = doc.get(map, k);
  if (!v) return std::nullopt;
  if (v->is_object()) {
    if (v->object_type != crdt::ObjType::Text) return std::nullopt;
    return doc.text(*v->object());
  }
  return v->as_string();
}

// The string elements of a list, in order; other elements are skipped.
inline std::vector<std::string> strings(const crdt::Document& doc, const crdt::ObjId& list) {
  std::vector<std::string> out;
  size_t n = doc.length(list);
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    auto v = doc.get(list, i);
    if (!v) continue;
    if (auto s = v->as_string()) out.push_back(std::move(*s));
  }
  return out;
}

// The live block map of `id` in a block list, or nothing.
inline std::optional<crdt::ObjId> live_block(const crdt::Document& doc, const BlockList& list, std::string_view id) {
  auto b = obj(doc, list.blocks, id, crdt::ObjType::Map);
  if (!b || flag(doc, *b, key::deleted)) return std::nullopt;
  return b;
}

inline std::optional<BlockList> block_list(const crdt::Document& doc, const crdt::ObjId& map) {
  auto order = obj(doc, map, key::order, crdt::ObjType::List);
  auto blocks = obj(doc, map, key::blocks, crdt::ObjType::Map);
  if (!order || !blocks) return std::nullopt;
  return BlockList{map, *order, *blocks};
}

}  // namespace pelto::model::detail
