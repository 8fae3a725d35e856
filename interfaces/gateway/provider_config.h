#pragma once
// The provider configuration: which language-model services this machine may ask, and which one
// (if any) is chosen. It lives outside the agent, in the user's configuration folder, and is read
// fresh by whoever needs it; the agent itself reads no configuration file of its own.
//
// File: $XDG_CONFIG_HOME/pelto/providers.json (XDG_CONFIG_HOME unset, empty or relative:
// ~/.config/pelto/providers.json). A JSON object:
//
//   {
//     "active_profile": "anthropic",                 optional; the chosen profile's id
//     "profiles": [                                  optional; none when absent
//       {
//         "id": "anthropic",                         required, non-empty, unique
//         "label": "Anthropic",                      optional display label
//         "protocol": "messages",                    required: "messages" | "chat-completions"
//         "base_url": "https://api.anthropic.com",   required: an http, https or unix URL
//         "api_key_env": "ANTHROPIC_API_KEY",        optional; the variable that holds the key
//         "models": ["claude-x", {"id": "m2", "label": "Model two"}],   ids non-empty, unique
//         "selected_model": "claude-x",              optional
//         "tool_use": true                           optional, default false: tool use negotiated
//       }
//     ]
//   }
//
// Unknown keys are ignored, so newer files still load. A reference that leads nowhere (an active
// profile that is not listed, a selection the profile does not list) is not malformed: it only
// yields no model target. The key itself never sits in the file, only the variable's name.
//
// Everything here is a plain value; loading touches only the file and the environment.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interfaces/base/error.h"

namespace pelto::gateway {

// The request shape a profile's service speaks.
enum class Protocol { Messages, ChatCompletions };
std::string_view protocol_name(Protocol protocol);

struct ProviderModel {
  std::string id;
  std::string label;  // may be empty
  std::string display_label() const;  // the label, or the id when there is none
};

struct ProviderProfile {
  std::string id;
  std::string label;  // may be empty
  Protocol protocol = Protocol::Messages;
  std::string base_url;
  std::optional<std::string> api_key_env;
  std::vector<ProviderModel> models;
  std::optional<std::string> selected_model;
  bool tool_use = false;

  std::string display_label() const;  // the label, or the id when there is none
  const ProviderModel* find_model(std::string_view id) const;
};

// What the model planner talks to: one profile and one of its models.
struct ModelTarget {
  ProviderProfile profile;
  ProviderModel model;
  std::string display_label() const;  // "{profile label} · {model label}"
};

struct ProviderConfig {
  std::vector<ProviderProfile> profiles;
  std::optional<std::string> active_profile_id;

  // Where the file is looked for; fails when neither XDG_CONFIG_HOME nor HOME gives a folder.
  static Result<std::filesystem::path> default_path();
  // Reads the file at default_path(). A missing, unreadable or malformed file is an error value
  // naming the file and the fault; callers that can run without a model log it and go on.
  static Result<ProviderConfig> load();
  static Result<ProviderConfig> load_from(const std::filesystem::path& path);
  // The file's content; errors name the offending member ("profiles[1].protocol").
  static Result<ProviderConfig> parse(std::string_view json_text);

  // The profile that active_profile_id names; nothing when it names none or no profile is listed.
  const ProviderProfile* active_profile() const;
  // The active profile's selected model, when the profile lists it; otherwise nothing.
  std::optional<ModelTarget> model_target() const;
};

}  // namespace pelto::gateway
