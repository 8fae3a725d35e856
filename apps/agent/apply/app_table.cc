#include "apps/agent/apply/app_table.h"

#include <array>

#include "interfaces/docmodel/schema.h"

namespace pelto::agent {
namespace {

bool word_processor_claims(const crdt::Document& doc) { return model::open(doc).has_value(); }

bool chat_claims(const crdt::Document& doc) {
  return doc.get(crdt::ObjId::root(), "seeded").has_value();
}

bool photos_claims(const crdt::Document& doc) {
  auto edits = doc.get(crdt::ObjId::root(), "photos_edits");
  if (edits && edits->is_object() && edits->object_type == crdt::ObjType::Map) return true;
  auto older = doc.get(crdt::ObjId::root(), "edits");
  return older && !older->is_object();
}

constexpr std::array<AppEntry, 3> kTable = {{
    {"so.pelto.word-processor", "the word processor", "word-processor", false, word_processor_claims},
    {"so.pelto.chat", "the conversation", "chat", true, chat_claims},
    {"so.pelto.photos", "the photo editor", "photos", true, photos_claims},
}};

}  // namespace

std::span<const AppEntry> app_table() { return kTable; }

const AppEntry* app_by_id(std::string_view id) {
  for (const auto& row : kTable)
    if (row.id == id) return &row;
  return nullptr;
}

const AppEntry* claim(const crdt::Document& doc) {
  for (bool first : {true, false})
    for (const auto& row : kTable)
      if (row.first_pass == first && row.claims(doc)) return &row;
  return nullptr;
}

const AppEntry* claim_bytes(std::span<const uint8_t> bytes) {
  auto doc = crdt::Document::load(bytes);
  if (!doc) return nullptr;
  return claim(*doc);
}

}  // namespace pelto::agent
