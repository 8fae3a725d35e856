#include "interfaces/docmodel/blobstore.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <system_error>

#include <fmt/format.h>
#include <openssl/evp.h>
#include <unistd.h>

#include "interfaces/docmodel/schema.h"

namespace pelto::blobstore {

namespace fs = std::filesystem;

std::string hash_bytes(std::span<const uint8_t> bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &len, EVP_sha256(), nullptr);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(len * 2);
  for (unsigned i = 0; i < len; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
}

bool is_hash(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

fs::path store_dir() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg && fs::path(xdg).is_absolute()) return fs::path(xdg) / "pelto" / "blobs";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".local" / "share" / "pelto" / "blobs";
}

namespace {

// Files known to be in place, so reopening a document does not touch the disk again.
std::mutex known_mutex;
std::set<fs::path> known;

Result<void> write_file(const fs::path& target, std::span<const uint8_t> bytes) {
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  if (ec) return failf("cannot create the blob store {}: {}", target.parent_path().string(), ec.message());
  std::random_device rd;
  fs::path tmp = target;
  tmp += fmt::format(".{}.{:x}.tmp", ::getpid(), rd());
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      fs::remove(tmp, ec);
      return failf("cannot write the blob {}", target.string());
    }
  }
  fs::rename(tmp, target, ec);
  if (ec) {
    fs::remove(tmp, ec);
    return failf("cannot put the blob {} in place: {}", target.string(), ec.message());
  }
  return {};
}

}  // namespace

bool contains(std::string_view hash) { return get(hash).has_value(); }

Result<std::string> put(std::span<const uint8_t> bytes) {
  std::string hash = hash_bytes(bytes);
  fs::path target = store_dir() / hash;
  {
    std::lock_guard lock(known_mutex);
    if (known.contains(target)) return hash;
  }
  if (!get(hash)) PELTO_CHECK(write_file(target, bytes), "store a blob");
  std::lock_guard lock(known_mutex);
  known.insert(target);
  return hash;
}

std::optional<crdt::Bytes> get(std::string_view hash) {
  if (!is_hash(hash)) return std::nullopt;
  fs::path path = store_dir() / std::string(hash);
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  crdt::Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad() || hash_bytes(bytes) != hash) return std::nullopt;
  return bytes;
}

Result<size_t> absorb(const crdt::Document& doc, const model::Model& model) {
  if (!model.blobs) return size_t{0};
  size_t added = 0;
  fs::path dir = store_dir();
  for (const auto& hash : doc.keys(*model.blobs)) {
    if (!is_hash(hash)) continue;
    {
      std::lock_guard lock(known_mutex);
      if (known.contains(dir / hash)) continue;
    }
    auto v = doc.get(*model.blobs, hash);
    if (!v || !v->scalar()) continue;
    auto bytes = std::get_if<crdt::Bytes>(v->scalar());
    // A blob whose bytes do not match its name is not trusted into the store.
    if (!bytes || hash_bytes(*bytes) != hash) continue;
    bool present = get(hash).has_value();
    if (!present) {
      PELTO_CHECK(write_file(dir / hash, *bytes), "copy a document's blob into the store");
      ++added;
    }
    std::lock_guard lock(known_mutex);
    known.insert(dir / hash);
  }
  return added;
}

namespace {

uint32_t be16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }
uint32_t be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }
uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
uint32_t le24(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16); }

bool starts_with(std::span<const uint8_t> b, std::string_view sig, size_t at = 0) {
  if (b.size() < at + sig.size()) return false;
  for (size_t i = 0; i < sig.size(); ++i)
    if (b[at + i] != static_cast<uint8_t>(sig[i])) return false;
  return true;
}

Sniffed sniff_jpeg(std::span<const uint8_t> b) {
  Sniffed s{"image/jpeg", 0, 0};
  size_t i = 2;
  while (i + 1 < b.size()) {
    if (b[i] != 0xFF) return s;
    while (i < b.size() && b[i] == 0xFF) ++i;  // fill bytes
    if (i >= b.size()) return s;
    uint8_t m = b[i++];
    if (m == 0xD8 || m == 0x01 || (m >= 0xD0 && m <= 0xD7)) continue;  // no length
    if (m == 0xD9 || m == 0xDA) return s;                              // end, or scan data
    if (i + 2 > b.size()) return s;
    uint32_t len = be16(&b[i]);
    if (len < 2) return s;
    bool sof = m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
    if (sof) {
      if (i + 7 > b.size()) return s;
      s.height = be16(&b[i + 3]);
      s.width = be16(&b[i + 5]);
      return s;
    }
    i += len;
  }
  return s;
}

Sniffed sniff_webp(std::span<const uint8_t> b) {
  Sniffed s{"image/webp", 0, 0};
  if (starts_with(b, "VP8 ", 12) && b.size() >= 30 && b[23] == 0x9D && b[24] == 0x01 && b[25] == 0x2A) {
    s.width = le16(&b[26]) & 0x3FFF;
    s.height = le16(&b[28]) & 0x3FFF;
  } else if (starts_with(b, "VP8L", 12) && b.size() >= 25 && b[20] == 0x2F) {
    uint32_t bits = uint32_t(b[21]) | (uint32_t(b[22]) << 8) | (uint32_t(b[23]) << 16) | (uint32_t(b[24]) << 24);
    s.width = (bits & 0x3FFF) + 1;
    s.height = ((bits >> 14) & 0x3FFF) + 1;
  } else if (starts_with(b, "VP8X", 12) && b.size() >= 30) {
    s.width = le24(&b[24]) + 1;
    s.height = le24(&b[27]) + 1;
  }
  return s;
}

}  // namespace

Sniffed sniff(std::span<const uint8_t> b) {
  if (starts_with(b, "\x89PNG\r\n\x1a\n")) {
    Sniffed s{"image/png", 0, 0};
    if (b.size() >= 24 && starts_with(b, "IHDR", 12)) {
      s.width = be32(&b[16]);
      s.height = be32(&b[20]);
    }
    return s;
  }
  if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return sniff_jpeg(b);
  if (starts_with(b, "GIF87a") || starts_with(b, "GIF89a")) {
    Sniffed s{"image/gif", 0, 0};
    if (b.size() >= 10) {
      s.width = le16(&b[6]);
      s.height = le16(&b[8]);
    }
    return s;
  }
  if (starts_with(b, "RIFF") && starts_with(b, "WEBP", 8)) return sniff_webp(b);
  return Sniffed{"application/octet-stream", 0, 0};
}

}  // namespace pelto::blobstore
