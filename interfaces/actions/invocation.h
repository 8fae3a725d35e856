#pragma once
// The id of one invocation: a random (version 4) UUID in its lower-case hyphenated form. A broker
// uses it to tell retries of one invocation from new ones, so every invocation needs a fresh one.
#include <optional>
#include <string>
#include <string_view>

namespace pelto::actions {

class InvocationId {
 public:
  // A fresh random id.
  static InvocationId new_();
  // Nothing unless the text is a UUID (any version; kept in lower case).
  static std::optional<InvocationId> parse(std::string_view text);

  const std::string& to_string() const { return text_; }
  friend bool operator==(const InvocationId&, const InvocationId&) = default;
  friend auto operator<=>(const InvocationId&, const InvocationId&) = default;

 private:
  explicit InvocationId(std::string text) : text_(std::move(text)) {}
  std::string text_;
};

}  // namespace pelto::actions
