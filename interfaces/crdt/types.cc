#include "interfaces/crdt/types.h"

#include <cmath>
#include <random>

#include <openssl/rand.h>

namespace pelto::crdt {

namespace {
std::string to_hex(const uint8_t* p, size_t n) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) {
    s.push_back(kDigits[p[i] >> 4]);
    s.push_back(kDigits[p[i] & 15]);
  }
  return s;
}
int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::string ActorId::hex() const { return to_hex(bytes.data(), bytes.size()); }

ActorId ActorId::from_string(std::string_view utf8) { return ActorId{Bytes(utf8.begin(), utf8.end())}; }

ActorId ActorId::random() {
  ActorId a{Bytes(16)};
  if (RAND_bytes(a.bytes.data(), 16) != 1) {
    std::random_device rd;
    for (auto& b : a.bytes) b = static_cast<uint8_t>(rd());
  }
  return a;
}

std::string ChangeHash::hex() const { return to_hex(bytes.data(), bytes.size()); }

std::optional<ChangeHash> ChangeHash::from_hex(std::string_view hex) {
  if (hex.size() != 64) return std::nullopt;
  ChangeHash h;
  for (size_t i = 0; i < 32; ++i) {
    int a = hex_digit(hex[2 * i]), b = hex_digit(hex[2 * i + 1]);
    if (a < 0 || b < 0) return std::nullopt;
    h.bytes[i] = static_cast<uint8_t>(a * 16 + b);
  }
  return h;
}

std::string ObjId::to_string() const {
  if (is_root()) return "_root";
  return std::to_string(counter) + "@" + actor.hex();
}

std::optional<std::string> Value::as_string() const {
  auto s = scalar();
  if (!s) return std::nullopt;
  if (auto p = std::get_if<std::string>(s)) return *p;
  return std::nullopt;
}

std::optional<int64_t> Value::as_int() const {
  auto s = scalar();
  if (!s) return std::nullopt;
  if (auto p = std::get_if<int64_t>(s)) return *p;
  if (auto p = std::get_if<uint64_t>(s); p && *p <= static_cast<uint64_t>(INT64_MAX)) return static_cast<int64_t>(*p);
  return std::nullopt;
}

std::optional<uint64_t> Value::as_uint() const {
  auto s = scalar();
  if (!s) return std::nullopt;
  if (auto p = std::get_if<uint64_t>(s)) return *p;
  if (auto p = std::get_if<int64_t>(s); p && *p >= 0) return static_cast<uint64_t>(*p);
  return std::nullopt;
}

std::optional<double> Value::as_f64() const {
  auto s = scalar();
  if (!s) return std::nullopt;
  if (auto p = std::get_if<double>(s)) return *p;
  if (auto p = std::get_if<int64_t>(s)) return static_cast<double>(*p);
  if (auto p = std::get_if<uint64_t>(s)) return static_cast<double>(*p);
  return std::nullopt;
}

std::optional<bool> Value::as_bool() const {
  auto s = scalar();
  if (!s) return std::nullopt;
  if (auto p = std::get_if<bool>(s)) return *p;
  return std::nullopt;
}

}  // namespace pelto::crdt
