#include "interfaces/gateway/provider_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>

#include <nlohmann/json.hpp>

#include "interfaces/gateway/availability.h"

namespace pelto::gateway {
namespace {

using nlohmann::json;

// A configuration file is a few kilobytes; anything far larger is not one.
constexpr size_t max_file_bytes = 1 << 20;
constexpr std::string_view protocol_messages = "messages";
constexpr std::string_view protocol_chat_completions = "chat-completions";
constexpr std::string_view label_separator = " · ";

bool valid_env_name(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  return std::ranges::all_of(name, [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
}

// An optional text member: nothing when absent or null, an error when of another type.
Result<std::optional<std::string>> optional_text(const json& object, const char* key,
                                                 const std::string& where) {
  auto it = object.find(key);
  if (it == object.end() || it->is_null()) return std::optional<std::string>();
  if (!it->is_string()) return failf("{}.{} must be a text", where, key);
  return std::optional<std::string>(it->get<std::string>());
}

Result<std::string> required_text(const json& object, const char* key, const std::string& where) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_string() || it->get_ref<const std::string&>().empty()) {
    return failf("{}.{} must be a non-empty text", where, key);
  }
  return it->get<std::string>();
}

Result<ProviderModel> parse_model(const json& entry, const std::string& where) {
  ProviderModel model;
  if (entry.is_string()) {
    model.id = entry.get<std::string>();
  } else if (entry.is_object()) {
    PELTO_TRY(model.id, required_text(entry, "id", where), "read a model");
    PELTO_TRY(auto label, optional_text(entry, "label", where), "read a model");
    model.label = label.value_or("");
  } else {
    return failf("{} must be a model id or an object with \"id\"", where);
  }
  if (model.id.empty()) return failf("{} must not be empty", where);
  return model;
}

Result<ProviderProfile> parse_profile(const json& entry, const std::string& where) {
  if (!entry.is_object()) return failf("{} must be an object", where);
  ProviderProfile profile;
  PELTO_TRY(profile.id, required_text(entry, "id", where), "read a profile");
  PELTO_TRY(auto label, optional_text(entry, "label", where), "read a profile");
  profile.label = label.value_or("");

  PELTO_TRY(auto protocol, required_text(entry, "protocol", where), "read a profile");
  if (protocol == protocol_messages) {
    profile.protocol = Protocol::Messages;
  } else if (protocol == protocol_chat_completions) {
    profile.protocol = Protocol::ChatCompletions;
  } else {
    return failf("{}.protocol must be \"{}\" or \"{}\", not \"{}\"", where, protocol_messages,
                 protocol_chat_completions, protocol);
  }

  PELTO_TRY(profile.base_url, required_text(entry, "base_url", where), "read a profile");
  if (reach_of(profile.base_url) == Reach::Invalid) {
    return failf("{}.base_url must be an http, https or unix URL, not \"{}\"", where, profile.base_url);
  }

  PELTO_TRY(profile.api_key_env, optional_text(entry, "api_key_env", where), "read a profile");
  if (profile.api_key_env && !valid_env_name(*profile.api_key_env)) {
    return failf("{}.api_key_env must be an environment variable name, not \"{}\"", where,
                 *profile.api_key_env);
  }

  if (auto it = entry.find("models"); it != entry.end() && !it->is_null()) {
    if (!it->is_array()) return failf("{}.models must be an array", where);
    std::set<std::string, std::less<>> seen;
    for (size_t i = 0; i < it->size(); ++i) {
      std::string at = fmt::format("{}.models[{}]", where, i);
      PELTO_TRY(auto model, parse_model((*it)[i], at), "read a profile");
      if (!seen.insert(model.id).second) return failf("{} repeats the model \"{}\"", at, model.id);
      profile.models.push_back(std::move(model));
    }
  }
  PELTO_TRY(profile.selected_model, optional_text(entry, "selected_model", where), "read a profile");

  if (auto it = entry.find("tool_use"); it != entry.end() && !it->is_null()) {
    if (!it->is_boolean()) return failf("{}.tool_use must be true or false", where);
    profile.tool_use = it->get<bool>();
  }
  return profile;
}

// Reads a whole regular file of bounded size.
Result<std::string> read_file(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return failf("no provider configuration at {}", path.string());
    return failf("cannot open {}: {}", path.string(), std::strerror(errno));
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) return failf("cannot inspect {}: {}", path.string(), std::strerror(errno));
  if (!S_ISREG(info.st_mode)) return failf("{} is not a regular file", path.string());
  if (static_cast<uint64_t>(info.st_size) > max_file_bytes) {
    return failf("{} is larger than {} bytes", path.string(), max_file_bytes);
  }
  std::string content;
  char buffer[8192];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failf("cannot read {}: {}", path.string(), std::strerror(errno));
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
    if (content.size() > max_file_bytes) {
      return failf("{} is larger than {} bytes", path.string(), max_file_bytes);
    }
  }
  return content;
}

}  // namespace

std::string_view protocol_name(Protocol protocol) {
  return protocol == Protocol::Messages ? protocol_messages : protocol_chat_completions;
}

std::string ProviderModel::display_label() const { return label.empty() ? id : label; }

std::string ProviderProfile::display_label() const { return label.empty() ? id : label; }

const ProviderModel* ProviderProfile::find_model(std::string_view model_id) const {
  auto it = std::ranges::find(models, model_id, &ProviderModel::id);
  return it == models.end() ? nullptr : &*it;
}

std::string ModelTarget::display_label() const {
  return fmt::format("{}{}{}", profile.display_label(), label_separator, model.display_label());
}

Result<std::filesystem::path> ProviderConfig::default_path() {
  std::filesystem::path base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg && std::filesystem::path(xdg).is_absolute()) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return fail("neither XDG_CONFIG_HOME nor HOME names a folder");
    base = std::filesystem::path(home) / ".config";
  }
  return base / "pelto" / "providers.json";
}

Result<ProviderConfig> ProviderConfig::load() {
  PELTO_TRY(auto path, default_path(), "find the provider configuration");
  return load_from(path);
}

Result<ProviderConfig> ProviderConfig::load_from(const std::filesystem::path& path) {
  PELTO_TRY(auto text, read_file(path), "load the provider configuration");
  return with_context(parse(text), fmt::format("load the provider configuration {}", path.string()));
}

Result<ProviderConfig> ProviderConfig::parse(std::string_view json_text) {
  json root;
  try {
    root = json::parse(json_text);
  } catch (const json::exception& e) {
    return failf("not JSON: {}", e.what());
  }
  if (!root.is_object()) return fail("the provider configuration must be a JSON object");

  ProviderConfig config;
  PELTO_TRY(config.active_profile_id, optional_text(root, "active_profile", "configuration"),
            "read the provider configuration");
  if (auto it = root.find("profiles"); it != root.end() && !it->is_null()) {
    if (!it->is_array()) return fail("profiles must be an array");
    std::set<std::string, std::less<>> seen;
    for (size_t i = 0; i < it->size(); ++i) {
      std::string where = fmt::format("profiles[{}]", i);
      PELTO_TRY(auto profile, parse_profile((*it)[i], where), "read the provider configuration");
      if (!seen.insert(profile.id).second) {
        return failf("{} repeats the profile id \"{}\"", where, profile.id);
      }
      config.profiles.push_back(std::move(profile));
    }
  }
  return config;
}

const ProviderProfile* ProviderConfig::active_profile() const {
  if (!active_profile_id) return nullptr;
  auto it = std::ranges::find(profiles, *active_profile_id, &ProviderProfile::id);
  return it == profiles.end() ? nullptr : &*it;
}

std::optional<ModelTarget> ProviderConfig::model_target() const {
  const ProviderProfile* profile = active_profile();
  if (!profile || !profile->selected_model) return std::nullopt;
  const ProviderModel* model = profile->find_model(*profile->selected_model);
  if (!model) return std::nullopt;
  return ModelTarget{*profile, *model};
}

}  // namespace pelto::gateway
