#pragma once
// Content-addressed bytes on this machine, under $XDG_DATA_HOME/pelto/blobs (default
// ~/.local/share/pelto/blobs), one file per content hash (64 lowercase hex digits of the SHA-256).
// Files are written whole (a temporary file renamed into place) and checked against their name
// when read, so a torn or altered file reads as missing. Safe to use from several processes.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "interfaces/base/error.h"
#include "interfaces/crdt/document.h"

namespace pelto::model {
struct Model;
}

namespace pelto::blobstore {

std::string hash_bytes(std::span<const uint8_t> bytes);
bool is_hash(std::string_view text);  // 64 lowercase hex digits

std::filesystem::path store_dir();
Result<std::string> put(std::span<const uint8_t> bytes);  // the content hash
std::optional<crdt::Bytes> get(std::string_view hash);
bool contains(std::string_view hash);
// Copies every blob the document carries into the store (those it lacks); returns how many.
Result<size_t> absorb(const crdt::Document& doc, const model::Model& model);

// What the header of an image says: media type and pixel size; 0 where not told.
struct Sniffed {
  std::string media_type;  // "image/png", "image/jpeg", "image/gif", "image/webp", or
                           // "application/octet-stream"
  uint32_t width = 0;
  uint32_t height = 0;
  friend bool operator==(const Sniffed&, const Sniffed&) = default;
};
Sniffed sniff(std::span<const uint8_t> bytes);

}  // namespace pelto::blobstore
