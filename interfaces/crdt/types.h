#pragma once
// Value types of the CRDT engine: actors, operation ids, objects, scalars, change hashes, marks.
#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace pelto::crdt {

using Bytes = std::vector<uint8_t>;

// An actor is an opaque byte string (the agent's is the UTF-8 bytes of its name). Compared bytewise.
struct ActorId {
  Bytes bytes;
  std::string hex() const;
  static ActorId from_string(std::string_view utf8);
  static ActorId random();  // 16 random bytes
  friend auto operator<=>(const ActorId&, const ActorId&) = default;
};

// SHA-256 of a change's canonical encoding.
struct ChangeHash {
  std::array<uint8_t, 32> bytes{};
  std::string hex() const;
  static std::optional<ChangeHash> from_hex(std::string_view hex);
  friend auto operator<=>(const ChangeHash&, const ChangeHash&) = default;
};

enum class ObjType : uint8_t { Map, List, Text };

// Names an object of one document: the root map, or the id of the operation that created it.
// Stable across replicas and across save/load, so it may be stored and compared.
struct ObjId {
  uint64_t counter = 0;  // 0 with an empty actor: the root
  ActorId actor;
  static ObjId root() { return {}; }
  bool is_root() const { return counter == 0; }
  std::string to_string() const;  // "_root" or "{counter}@{actor hex}"
  friend auto operator<=>(const ObjId&, const ObjId&) = default;
};

struct Null {
  friend auto operator<=>(const Null&, const Null&) = default;
};
using Scalar = std::variant<Null, bool, int64_t, uint64_t, double, std::string, Bytes>;

// A value read from a map key or list element: a scalar, or a nested object.
struct Value {
  std::variant<Scalar, ObjId> v;
  ObjType object_type = ObjType::Map;  // meaningful when v holds an ObjId

  bool is_object() const { return std::holds_alternative<ObjId>(v); }
  const ObjId* object() const { return std::get_if<ObjId>(&v); }
  const Scalar* scalar() const { return std::get_if<Scalar>(&v); }
  // Convenience readers: nothing when the value has another type.
  std::optional<std::string> as_string() const;
  std::optional<int64_t> as_int() const;   // int64, or a uint64 that fits
  std::optional<uint64_t> as_uint() const; // uint64, or a non-negative int64
  std::optional<double> as_f64() const;    // float64, or an integer
  std::optional<bool> as_bool() const;
};

// How a mark grows when text is inserted exactly at one of its edges.
enum class Expand : uint8_t { None, Before, After, Both };

// A marked span of a text, in characters (Unicode scalar values), end exclusive.
struct MarkSpan {
  size_t start = 0;
  size_t end = 0;
  std::string name;
  Scalar value;
  friend bool operator==(const MarkSpan&, const MarkSpan&) = default;
};

// What is known of one change without its operations.
struct ChangeMeta {
  ChangeHash hash;
  ActorId actor;
  uint64_t seq = 0;
  uint64_t start_op = 0;
  int64_t time_ms = 0;
  std::optional<std::string> message;
  std::vector<ChangeHash> deps;
  size_t op_count = 0;
};

}  // namespace pelto::crdt
