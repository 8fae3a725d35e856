#pragma once
// Byte-level primitives shared by the change encoding and the save format: LEB128 integers,
// length-prefixed strings, fixed-width floats. The Reader never reads past its input and never
// trusts a length it has not checked against the bytes left; every failure is a value.
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "interfaces/base/error.h"
#include "interfaces/crdt/types.h"

namespace pelto::crdt::codec {

class Writer {
 public:
  void byte(uint8_t b) { out_.push_back(b); }
  void uleb(uint64_t v) {
    while (v >= 0x80) {
      out_.push_back(static_cast<uint8_t>(v | 0x80));
      v >>= 7;
    }
    out_.push_back(static_cast<uint8_t>(v));
  }
  void sleb(int64_t v) { uleb((static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63)); }
  void raw(const void* p, size_t n) {
    auto b = static_cast<const uint8_t*>(p);
    out_.insert(out_.end(), b, b + n);
  }
  void str(std::string_view s) {
    uleb(s.size());
    raw(s.data(), s.size());
  }
  void bytes(std::span<const uint8_t> b) {
    uleb(b.size());
    raw(b.data(), b.size());
  }
  void f64(double d) {
    uint64_t u;
    std::memcpy(&u, &d, 8);
    for (int i = 0; i < 8; ++i) out_.push_back(static_cast<uint8_t>(u >> (8 * i)));
  }
  Bytes& out() { return out_; }
  Bytes take() { return std::move(out_); }
  size_t size() const { return out_.size(); }

 private:
  Bytes out_;
};

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> in) : in_(in) {}
  size_t left() const { return in_.size() - pos_; }
  size_t pos() const { return pos_; }
  bool done() const { return pos_ == in_.size(); }
  std::span<const uint8_t> rest() const { return in_.subspan(pos_); }

  Result<uint8_t> byte() {
    if (pos_ >= in_.size()) return fail("unexpected end of input");
    return in_[pos_++];
  }
  Result<uint64_t> uleb() {
    uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (pos_ >= in_.size()) return fail("unexpected end of input");
      uint8_t b = in_[pos_++];
      if (shift == 63 && (b & 0x7e)) return fail("integer overflow");
      v |= static_cast<uint64_t>(b & 0x7f) << shift;
      if (!(b & 0x80)) {
        if (b == 0 && shift > 0) return fail("overlong integer");
        return v;
      }
    }
    return fail("integer too long");
  }
  Result<int64_t> sleb() {
    auto u = uleb();
    if (!u) return std::unexpected(u.error());
    return static_cast<int64_t>((*u >> 1) ^ (~(*u & 1) + 1));
  }
  // A count of items that each take at least `min_bytes` of the rest: bounded by the input.
  Result<uint64_t> count(size_t min_bytes = 1) {
    auto n = uleb();
    if (!n) return n;
    if (min_bytes && *n > left() / min_bytes) return fail("count exceeds input");
    return n;
  }
  Result<std::span<const uint8_t>> raw(size_t n) {
    if (n > left()) return fail("unexpected end of input");
    auto s = in_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  Result<std::string> str() {
    auto n = uleb();
    if (!n) return std::unexpected(n.error());
    auto s = raw(*n);
    if (!s) return std::unexpected(s.error());
    return std::string(reinterpret_cast<const char*>(s->data()), s->size());
  }
  Result<Bytes> bytes() {
    auto n = uleb();
    if (!n) return std::unexpected(n.error());
    auto s = raw(*n);
    if (!s) return std::unexpected(s.error());
    return Bytes(s->begin(), s->end());
  }
  Result<double> f64() {
    auto s = raw(8);
    if (!s) return std::unexpected(s.error());
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i) u |= static_cast<uint64_t>((*s)[i]) << (8 * i);
    double d;
    std::memcpy(&d, &u, 8);
    return d;
  }

 private:
  std::span<const uint8_t> in_;
  size_t pos_ = 0;
};

// UTF-8 <-> scalar values. decode fails on malformed input, surrogates and overlong forms.
Result<std::u32string> utf8_decode(std::string_view s);
void utf8_append(std::string& out, char32_t c);
size_t utf8_length(std::string_view valid_utf8);

}  // namespace pelto::crdt::codec
