#pragma once
// Operations published through the broker: the room texts of a broker catalogue, and the failures
// of the action host that performs them.
#include <string>
#include <string_view>

namespace pelto::actions {

// The room text by which a catalogue entry names the workspace's own provider room.
inline constexpr std::string_view kWorkspaceProviderRoom = "workspace";

namespace remote {
// Whether a room text that is not a decimal number names the workspace's provider room (room 0):
// exactly "workspace", in any ASCII case.
bool workspace_provider_room(std::string_view room);
}  // namespace remote

inline constexpr std::string_view kHostSilentText = "the action host did not answer";
inline constexpr std::string_view kHostForgotText = "the action host no longer knows that invocation";
inline constexpr std::string_view kCancelledText = "that action was cancelled";
inline constexpr std::string_view kLocalOnlyText = "that operation is local-only and cannot be brokered";

// A brokered action that did not complete, for whoever reports it.
class ActionHostError {
 public:
  enum class Kind { NoAnswer, UnknownInvocation, Cancelled, LocalOnly, Refused, Failed };

  static ActionHostError no_answer() { return {Kind::NoAnswer, std::string(kHostSilentText)}; }
  static ActionHostError unknown_invocation() { return {Kind::UnknownInvocation, std::string(kHostForgotText)}; }
  static ActionHostError cancelled() { return {Kind::Cancelled, std::string(kCancelledText)}; }
  static ActionHostError local_only() { return {Kind::LocalOnly, std::string(kLocalOnlyText)}; }
  // The host or the provider refused or failed the action, with its own reason.
  static ActionHostError refused(std::string reason) { return {Kind::Refused, std::move(reason)}; }
  static ActionHostError failed(std::string reason) { return {Kind::Failed, std::move(reason)}; }

  Kind kind() const { return kind_; }
  const std::string& display() const { return text_; }
  friend bool operator==(const ActionHostError&, const ActionHostError&) = default;

 private:
  ActionHostError(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
  Kind kind_;
  std::string text_;
};

}  // namespace pelto::actions
