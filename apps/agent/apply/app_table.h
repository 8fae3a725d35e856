#pragma once
// The applications the agent speaks to, in table order (the order the catalogue also uses), and
// which of them claims a document.
//
// Chat and photos recognise their documents by their own marks and are tried first; the word
// processor's general test (the document opens under the document model) is the fallback, so a
// chat document that also happens to carry the word-processor schema is chat's.
#include <cstdint>
#include <span>
#include <string_view>

#include "interfaces/crdt/document.h"

namespace pelto::agent {

struct AppEntry {
  std::string_view id;           // "so.pelto.word-processor"
  std::string_view spoken_name;  // "the word processor"
  std::string_view ns;           // "word-processor"
  bool first_pass = false;
  bool (*claims)(const crdt::Document& doc) = nullptr;
};

std::span<const AppEntry> app_table();
const AppEntry* app_by_id(std::string_view id);

// The row that claims a loaded document, or nothing.
const AppEntry* claim(const crdt::Document& doc);
// Loads the bytes and claims the document; a snapshot that does not load is claimed by nobody.
const AppEntry* claim_bytes(std::span<const uint8_t> bytes);

}  // namespace pelto::agent
