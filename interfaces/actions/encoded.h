#pragma once
// What an encoder makes of bound arguments: the operation type of the payload and the payload.
//
// An operation type is an application's namespace followed by ".action" (a document action, which
// a registered executor applies to a replica) or ".operation" (a device operation, which only the
// application running on a device carries out; it is handed to the transport and changes no
// document). ActionError is an encoder's refusal: a code ("pelto.invalid_arguments") and a message
// for people; its display text is the message alone.
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace pelto::actions {

inline constexpr std::string_view kInvalidArguments = "pelto.invalid_arguments";
inline constexpr std::string_view kDocumentActionSuffix = ".action";
inline constexpr std::string_view kDeviceOperationSuffix = ".operation";

struct EncodedAction {
  std::string operation_type;  // "chat.action", "photos.operation" ...
  nlohmann::json payload;      // the externally tagged variant ({"SendMessage": {...}} or "View")

  bool is_document_action() const;
  bool is_device_operation() const;
  friend bool operator==(const EncodedAction&, const EncodedAction&) = default;
};

class ActionError {
 public:
  ActionError(std::string code, std::string message) : code_(std::move(code)), message_(std::move(message)) {}
  static ActionError invalid_arguments(std::string message) {
    return ActionError(std::string(kInvalidArguments), std::move(message));
  }

  const std::string& code() const { return code_; }
  const std::string& message() const { return message_; }
  const std::string& display() const { return message_; }
  friend bool operator==(const ActionError&, const ActionError&) = default;

 private:
  std::string code_;
  std::string message_;
};

}  // namespace pelto::actions
