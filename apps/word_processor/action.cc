#include "apps/word_processor/action.h"

#include <array>
#include <limits>
#include <type_traits>

namespace pelto::word_processor {
namespace {

// Hands a failure on unchanged: the messages already name the field.
#define PELTO_WP_PASS(expr)                                                      \
  do {                                                                           \
    auto pelto_wp_r = (expr);                                                    \
    if (!pelto_wp_r) return std::unexpected<Error>(std::move(pelto_wp_r.error())); \
  } while (0)

using ojson = nlohmann::ordered_json;
using json = nlohmann::json;

template <class T>
struct is_optional : std::false_type {};
template <class T>
struct is_optional<std::optional<T>> : std::true_type {};
template <class T>
struct is_vector : std::false_type {};
template <class T>
struct is_vector<std::vector<T>> : std::true_type {};

template <class T>
concept Record = requires(T& t) { T::each_field(t, [](std::string_view, auto&) {}); };
template <class T>
concept NamedVariant = requires { T::kTag; };

// ---- writing ----

template <class T>
ojson write(const std::optional<T>& o);
template <class T>
ojson write(const std::vector<T>& v);
template <Record T>
  requires(!NamedVariant<T>)
ojson write(const T& t);

ojson write(const std::string& s) { return s; }
ojson write(bool b) { return b; }
ojson write(uint64_t u) { return u; }
ojson write(int64_t i) { return i; }
ojson write(uint8_t b) { return b; }
ojson write(double f) { return f; }
ojson write(Region r) { return std::string(model::region_name(r)); }
ojson write(const MarkValue& m) { return m.to_json(); }
ojson write(const MarkSpan& m) { return m.to_json(); }
ojson write(const AttrValue& a) { return to_json(a); }
ojson write(const TableEdit& t);

template <class T>
ojson write(const std::optional<T>& o) {
  return o ? write(*o) : ojson(nullptr);
}
template <class T>
ojson write(const std::vector<T>& v) {
  ojson out = ojson::array();
  for (const auto& item : v) out.push_back(write(item));
  return out;
}
template <Record T>
ojson write_fields(const T& t) {
  ojson out = ojson::object();
  T::each_field(t, [&](std::string_view key, const auto& value) { out[std::string(key)] = write(value); });
  return out;
}
template <Record T>
  requires(!NamedVariant<T>)
ojson write(const T& t) {
  return write_fields(t);
}
// A named variant: its name alone when it has no fields, else {name: {fields}}.
template <NamedVariant T>
ojson write_tagged(const T& t) {
  if constexpr (Record<T>) {
    ojson out = ojson::object();
    out[std::string(T::kTag)] = write_fields(t);
    return out;
  } else {
    return std::string(T::kTag);
  }
}
ojson write(const TableEdit& t) {
  return std::visit([](const auto& e) { return write_tagged(e); }, t.v);
}

// ---- reading ----

template <class T>
Result<void> read(const json& j, std::optional<T>& out, std::string_view what);
template <class T>
Result<void> read(const json& j, std::vector<T>& out, std::string_view what);
template <Record T>
  requires(!NamedVariant<T>)
Result<void> read(const json& j, T& out, std::string_view what);

Error bad(std::string_view what, std::string_view expected) {
  return Error(fmt::format("{}: expected {}", what, expected));
}

Result<void> read(const json& j, std::string& out, std::string_view what) {
  if (!j.is_string()) return fail(bad(what, "a text"));
  out = j.get<std::string>();
  return {};
}
Result<void> read(const json& j, bool& out, std::string_view what) {
  if (!j.is_boolean()) return fail(bad(what, "a boolean"));
  out = j.get<bool>();
  return {};
}
Result<void> read(const json& j, uint64_t& out, std::string_view what) {
  if (j.is_number_unsigned()) {
    out = j.get<uint64_t>();
    return {};
  }
  if (j.is_number_integer() && j.get<int64_t>() >= 0) {
    out = static_cast<uint64_t>(j.get<int64_t>());
    return {};
  }
  return fail(bad(what, "an unsigned integer"));
}
Result<void> read(const json& j, int64_t& out, std::string_view what) {
  if (j.is_number_unsigned()) {
    uint64_t u = j.get<uint64_t>();
    if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return fail(bad(what, "a signed integer"));
    out = static_cast<int64_t>(u);
    return {};
  }
  if (j.is_number_integer()) {
    out = j.get<int64_t>();
    return {};
  }
  return fail(bad(what, "a signed integer"));
}
Result<void> read(const json& j, uint8_t& out, std::string_view what) {
  uint64_t u = 0;
  if (!read(j, u, what) || u > 255) return fail(bad(what, "a byte value 0 to 255"));
  out = static_cast<uint8_t>(u);
  return {};
}
Result<void> read(const json& j, double& out, std::string_view what) {
  if (!j.is_number()) return fail(bad(what, "a number"));
  out = j.get<double>();
  return {};
}
Result<void> read(const json& j, Region& out, std::string_view what) {
  auto r = j.is_string() ? model::region_from_name(j.get<std::string>()) : std::nullopt;
  if (!r) return fail(bad(what, "\"Body\", \"Header\" or \"Footer\""));
  out = *r;
  return {};
}
Result<void> read(const json& j, MarkValue& out, std::string_view what) {
  PELTO_TRY(out, MarkValue::from_json(j), std::string(what));
  return {};
}
Result<void> read(const json& j, MarkSpan& out, std::string_view what) {
  PELTO_TRY(out, MarkSpan::from_json(j), std::string(what));
  return {};
}
Result<void> read(const json& j, AttrValue& out, std::string_view what) {
  PELTO_TRY(out, attr_value_from_json(j), std::string(what));
  return {};
}
Result<void> read(const json& j, TableEdit& out, std::string_view what);

template <class T>
Result<void> read(const json& j, std::optional<T>& out, std::string_view what) {
  if (j.is_null()) {
    out.reset();
    return {};
  }
  T value{};
  PELTO_WP_PASS(read(j, value, what));
  out = std::move(value);
  return {};
}
template <class T>
Result<void> read(const json& j, std::vector<T>& out, std::string_view what) {
  if (!j.is_array()) return fail(bad(what, "an array"));
  out.clear();
  out.reserve(j.size());
  for (size_t i = 0; i < j.size(); ++i) {
    T item{};
    auto r = read(j[i], item, what);
    if (!r) return fail(fmt::format("{} (item {})", r.error().message(), i));
    out.push_back(std::move(item));
  }
  return {};
}
template <Record T>
Result<void> read_fields(const json& j, T& out, std::string_view what) {
  if (!j.is_object()) return fail(bad(what, "an object of fields"));
  std::optional<Error> error;
  T::each_field(out, [&](std::string_view key, auto& field) {
    if (error) return;
    std::string name = fmt::format("{}.{}", what, key);
    auto it = j.find(std::string(key));
    if (it == j.end()) {
      if constexpr (is_optional<std::remove_cvref_t<decltype(field)>>::value) {
        field.reset();
      } else {
        error = Error(fmt::format("{}: missing", name));
      }
      return;
    }
    auto r = read(*it, field, name);
    if (!r) error = std::move(r.error());
  });
  if (error) return fail(std::move(*error));
  return {};
}
template <Record T>
  requires(!NamedVariant<T>)
Result<void> read(const json& j, T& out, std::string_view what) {
  return read_fields(j, out, what);
}

// Reads the externally tagged form of one of the named alternatives of `Variant`.
template <class Variant>
Result<Variant> read_tagged(const json& j, std::string_view what) {
  std::string tag;
  const json* body = nullptr;
  if (j.is_string()) {
    tag = j.get<std::string>();
  } else if (j.is_object() && j.size() == 1) {
    tag = j.begin().key();
    body = &j.begin().value();
  } else {
    return fail(bad(what, "a variant name, or an object with one key naming the variant"));
  }
  std::optional<Result<Variant>> found;
  auto try_one = [&]<class T>(std::type_identity<T>) {
    if (found || tag != T::kTag) return;
    T value{};
    if constexpr (Record<T>) {
      if (!body) {
        found = fail(fmt::format("{}: {} needs its fields", what, T::kTag));
        return;
      }
      auto r = read_fields(*body, value, T::kTag);
      if (!r) {
        found = fail(std::move(r.error()));
        return;
      }
    } else if (body && !body->is_null() && !(body->is_object() && body->empty())) {
      found = fail(fmt::format("{}: {} has no fields", what, T::kTag));
      return;
    }
    found = Variant(std::move(value));
  };
  [&]<size_t... I>(std::index_sequence<I...>) {
    (try_one(std::type_identity<std::variant_alternative_t<I, Variant>>{}), ...);
  }(std::make_index_sequence<std::variant_size_v<Variant>>{});
  if (!found) return failf("{}: unknown variant \"{}\"", what, tag);
  return std::move(*found);
}

Result<void> read(const json& j, TableEdit& out, std::string_view what) {
  auto r = read_tagged<decltype(TableEdit::v)>(j, what);
  if (!r) return fail(std::move(r.error()));
  out.v = std::move(*r);
  return {};
}

}  // namespace

std::string_view variant_name(const WordProcessorAction& action) {
  return std::visit([](const auto& a) { return std::decay_t<decltype(a)>::kTag; }, action);
}

std::vector<std::string_view> variant_names() {
  return []<size_t... I>(std::index_sequence<I...>) {
    return std::vector<std::string_view>{std::variant_alternative_t<I, WordProcessorAction>::kTag...};
  }(std::make_index_sequence<std::variant_size_v<WordProcessorAction>>{});
}

ojson to_json(const WordProcessorAction& action) {
  return std::visit([](const auto& a) { return write_tagged(a); }, action);
}

Result<WordProcessorAction> action_from_json(const json& j) {
  return read_tagged<WordProcessorAction>(j, "word-processor action");
}

Result<WordProcessorAction> action_from_json_text(std::string_view text) {
  json j = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (j.is_discarded()) return fail("word-processor action: not valid JSON");
  return action_from_json(j);
}

ojson to_json(const AttrValue& value) {
  static constexpr std::array<std::string_view, 4> kNames = {"Bool", "Int", "Float", "Str"};
  ojson out = ojson::object();
  std::visit([&](const auto& v) { out[std::string(kNames[value.v.index()])] = v; }, value.v);
  return out;
}

Result<AttrValue> attr_value_from_json(const json& j) {
  if (!j.is_object() || j.size() != 1) return fail("attribute value: expected an object with one key");
  const std::string& tag = j.begin().key();
  const json& v = j.begin().value();
  AttrValue out;
  if (tag == "Bool") {
    bool b = false;
    PELTO_WP_PASS(read(v, b, "attribute value Bool"));
    out.v = b;
  } else if (tag == "Int") {
    int64_t i = 0;
    PELTO_WP_PASS(read(v, i, "attribute value Int"));
    out.v = i;
  } else if (tag == "Float") {
    double f = 0;
    PELTO_WP_PASS(read(v, f, "attribute value Float"));
    out.v = f;
  } else if (tag == "Str") {
    std::string s;
    PELTO_WP_PASS(read(v, s, "attribute value Str"));
    out.v = std::move(s);
  } else {
    return failf("attribute value: unknown variant \"{}\"", tag);
  }
  return out;
}

#undef PELTO_WP_PASS

}  // namespace pelto::word_processor
