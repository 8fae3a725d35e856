#pragma once
// Failures as values. An Error carries the message of what went wrong and, on the way up, a chain of
// short context lines naming what the caller was doing ("start typed collaboration client").
// Display: the message, then each context line on its own line, innermost first.
//
//   return pelto::fail("socket closed");
//   auto r = open(path);  if (!r) return pelto::fail(std::move(r.error()).context("open the room"));
//   PELTO_TRY(auto conn, open(path), "open the room");   // the same in one expression
#include <expected>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>

namespace pelto {

class Error {
 public:
  explicit Error(std::string message) : message_(std::move(message)) {}

  // Adds one context line (what the caller was doing) and hands the error on.
  Error context(std::string line) && {
    contexts_.push_back(std::move(line));
    return std::move(*this);
  }
  Error context(std::string line) const& {
    Error copy = *this;
    return std::move(copy).context(std::move(line));
  }

  const std::string& message() const { return message_; }
  // Innermost first: contexts()[0] was added nearest the failure.
  const std::vector<std::string>& contexts() const { return contexts_; }

  // The message, then each context line on its own line.
  std::string display() const;

  friend bool operator==(const Error&, const Error&) = default;

 private:
  std::string message_;
  std::vector<std::string> contexts_;
};

template <class T = void>
using Result = std::expected<T, Error>;

inline std::unexpected<Error> fail(std::string message) {
  return std::unexpected<Error>(Error(std::move(message)));
}
inline std::unexpected<Error> fail(Error error) { return std::unexpected<Error>(std::move(error)); }

template <class... Args>
std::unexpected<Error> failf(fmt::format_string<Args...> format, Args&&... args) {
  return fail(fmt::format(format, std::forward<Args>(args)...));
}

// Adds a context line to a failed result in one expression; a success passes through untouched.
template <class T>
Result<T> with_context(Result<T>&& result, std::string_view line) {
  if (!result) return std::unexpected<Error>(std::move(result.error()).context(std::string(line)));
  return std::move(result);
}

}  // namespace pelto

template <>
struct fmt::formatter<pelto::Error> : fmt::formatter<std::string> {
  auto format(const pelto::Error& e, fmt::format_context& ctx) const {
    return fmt::formatter<std::string>::format(e.display(), ctx);
  }
};

// PELTO_TRY(decl, expr, context): evaluates expr (a Result); on failure returns its error with the
// context line added; on success binds the value to decl.
#define PELTO_CONCAT_INNER(a, b) a##b
#define PELTO_CONCAT(a, b) PELTO_CONCAT_INNER(a, b)
#define PELTO_TRY(decl, expr, ctx)                                                     \
  auto PELTO_CONCAT(pelto_try_, __LINE__) = (expr);                                    \
  if (!PELTO_CONCAT(pelto_try_, __LINE__))                                             \
    return std::unexpected<::pelto::Error>(                                            \
        std::move(PELTO_CONCAT(pelto_try_, __LINE__).error()).context(std::string(ctx))); \
  decl = std::move(*PELTO_CONCAT(pelto_try_, __LINE__))
// PELTO_CHECK(expr, context): the same for a Result<void>.
#define PELTO_CHECK(expr, ctx)                                                         \
  do {                                                                                 \
    auto pelto_check_r = (expr);                                                       \
    if (!pelto_check_r)                                                                \
      return std::unexpected<::pelto::Error>(                                          \
          std::move(pelto_check_r.error()).context(std::string(ctx)));                 \
  } while (0)
