#pragma once
// What an action declares about itself beyond its label and parameters: whether it must be
// confirmed, how it runs, what it returns, how it may be retried, its risk and the room permission
// it needs, whether it is available right now, and whether it consumes the previous step's content.
//
// Plain values, copied freely. The debug forms below are the texts the catalogue shows to a model
// ("Phrase { phrase: \"delete everything\" }"): the variant name alone, or the name, " { ", the
// fields as "name: value" joined by ", ", then " }"; texts quoted and escaped, booleans as
// true/false, JSON values compact.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace pelto::actions {

// What the operation needs before it may run. Phrase: the exact text that must accompany it.
struct Confirmation {
  enum class Kind { None, Confirm, Phrase };
  Kind kind = Kind::None;
  std::string phrase;  // Phrase only

  static Confirmation none() { return {}; }
  static Confirmation confirm() { return {Kind::Confirm, {}}; }
  static Confirmation with_phrase(std::string phrase) { return {Kind::Phrase, std::move(phrase)}; }
  bool required() const { return kind != Kind::None; }
  friend bool operator==(const Confirmation&, const Confirmation&) = default;
};

// How the operation runs. item_schema (Streaming): the JSON schema of each item, null when untold.
struct Execution {
  enum class Kind { Immediate, Background, Streaming };
  Kind kind = Kind::Immediate;
  bool cancellable = false;          // Background, Streaming
  nlohmann::json item_schema;        // Streaming
  static Execution immediate() { return {}; }
  static Execution background(bool cancellable) { return {Kind::Background, cancellable, nullptr}; }
  static Execution streaming(bool cancellable, nlohmann::json item_schema) {
    return {Kind::Streaming, cancellable, std::move(item_schema)};
  }
  friend bool operator==(const Execution&, const Execution&) = default;
};

// What the operation returns: nothing, a resource of a kind, a job, or JSON of a schema.
struct ActionResult {
  enum class Kind { None, Resource, Job, Json };
  Kind kind = Kind::None;
  std::string resource_kind;  // Resource
  nlohmann::json schema;      // Json
  static ActionResult none() { return {}; }
  static ActionResult resource(std::string kind) { return {Kind::Resource, std::move(kind), nullptr}; }
  static ActionResult job() { return {Kind::Job, {}, nullptr}; }
  static ActionResult json(nlohmann::json schema) { return {Kind::Json, {}, std::move(schema)}; }
  friend bool operator==(const ActionResult&, const ActionResult&) = default;
};

enum class Retry { Idempotent, RetryWithInvocationId, AtMostOnce };
enum class Risk { None, Low, Destructive, Privileged, Sensitive };
// The room permission an operation needs, lowest first.
enum class Permission { None, Read, Comment, Write, Invite, Admin };

// Present on an action that cannot run right now.
struct Availability {
  std::string reason;   // short, machine-readable ("local_vision_unavailable")
  std::string message;  // for people
  friend bool operator==(const Availability&, const Availability&) = default;
};

// Present on an action whose input may come from what the previous step produced; `consumes` set
// means it does, and then its arguments are bound from that content rather than checked.
struct ContentInput {
  bool consumes = true;
  std::string description;  // what the content is for ("The content to open it onto")
  friend bool operator==(const ContentInput&, const ContentInput&) = default;
};

// The operation type an action's payload must have ("photos.operation") and the capability tags
// the application declares for it ("device-local", "presentation").
struct ActionContract {
  std::string operation_type;
  std::vector<std::string> capabilities;
  friend bool operator==(const ActionContract&, const ActionContract&) = default;
};

std::string_view name_of(Retry retry);
std::string_view name_of(Risk risk);
std::string_view name_of(Permission permission);

std::string debug_form(const Confirmation& confirmation);
std::string debug_form(const Execution& execution);
std::string debug_form(const ActionResult& result);
// A text as a debug form writes it: in double quotes, with quotes, backslashes and control
// characters escaped.
std::string debug_quote(std::string_view text);

}  // namespace pelto::actions
