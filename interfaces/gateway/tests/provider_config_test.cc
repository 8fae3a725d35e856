#include "interfaces/gateway/provider_config.h"

#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "interfaces/gateway/tests/env_guard.h"

namespace pelto::gateway {
namespace {

namespace fs = std::filesystem;

// A configuration folder of its own, found the way every caller finds it: through XDG_CONFIG_HOME.
class ProviderConfigTest : public ::testing::Test {
 protected:
  ProviderConfigTest() {
    char pattern[] = "/tmp/pelto-providers-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    env_.set("XDG_CONFIG_HOME", dir_.string());
  }
  ~ProviderConfigTest() override { fs::remove_all(dir_); }

  fs::path file() const { return dir_ / "pelto" / "providers.json"; }
  void write(const std::string& content) const {
    fs::create_directories(file().parent_path());
    std::ofstream(file(), std::ios::binary) << content;
  }

  fs::path dir_;
  testing::EnvGuard env_;
};

constexpr const char* kLive = R"({
  "active_profile": "anthropic",
  "profiles": [
    {"id": "local", "label": "llama.cpp on this machine", "protocol": "chat-completions",
     "base_url": "http://127.0.0.1:8080/v1", "models": ["qwen"], "selected_model": "qwen"},
    {"id": "anthropic", "label": "Anthropic", "protocol": "messages",
     "base_url": "https://api.anthropic.com", "api_key_env": "PELTO_TEST_KEY",
     "models": [{"id": "claude-a", "label": "Claude A"}, "claude-b"],
     "selected_model": "claude-a", "tool_use": true, "some_future_key": [1, 2]}
  ]
})";

TEST_F(ProviderConfigTest, LoadsProfilesAndDerivesTheTargetWithItsLabels) {
  write(kLive);
  auto config = ProviderConfig::load();
  ASSERT_TRUE(config) << config.error().display();
  ASSERT_EQ(config->profiles.size(), 2u);

  const ProviderProfile& local = config->profiles[0];
  EXPECT_EQ(local.protocol, Protocol::ChatCompletions);
  EXPECT_EQ(local.api_key_env, std::nullopt);
  EXPECT_FALSE(local.tool_use);

  const ProviderProfile* active = config->active_profile();
  ASSERT_NE(active, nullptr);
  EXPECT_EQ(active->id, "anthropic");
  EXPECT_EQ(active->base_url, "https://api.anthropic.com");
  EXPECT_EQ(active->api_key_env, "PELTO_TEST_KEY");
  ASSERT_EQ(active->models.size(), 2u);
  EXPECT_EQ(active->models[1].display_label(), "claude-b");

  auto target = config->model_target();
  ASSERT_TRUE(target);
  EXPECT_EQ(target->profile.id, "anthropic");
  EXPECT_EQ(target->model.id, "claude-a");
  EXPECT_TRUE(target->profile.tool_use);
  EXPECT_EQ(target->profile.display_label(), "Anthropic");
  EXPECT_EQ(target->display_label(), "Anthropic · Claude A");
}

TEST_F(ProviderConfigTest, ProfileWithoutLabelIsShownByItsId) {
  write(R"({"active_profile": "p", "profiles": [{"id": "p", "protocol": "messages",
            "base_url": "https://example.org", "models": ["m"], "selected_model": "m"}]})");
  auto config = ProviderConfig::load();
  ASSERT_TRUE(config) << config.error().display();
  ASSERT_TRUE(config->model_target());
  EXPECT_EQ(config->model_target()->display_label(), "p · m");
}

struct TargetCase {
  const char* name;
  std::string file;
};

// Files that load but whose references lead nowhere: no target, and no failure.
TEST_F(ProviderConfigTest, MissingReferencesGiveNoTarget) {
  const char* profile = R"({"id": "p", "protocol": "messages", "base_url": "https://example.org",
                            "models": ["m1", "m2"])";
  const TargetCase cases[] = {
      {"empty object", "{}"},
      {"no active profile", fmt::format(R"({{"profiles": [{}, "selected_model": "m1"}}]}})", profile)},
      {"active profile not listed",
       fmt::format(R"({{"active_profile": "q", "profiles": [{}, "selected_model": "m1"}}]}})", profile)},
      {"no selection", fmt::format(R"({{"active_profile": "p", "profiles": [{}}}]}})", profile)},
      {"null selection",
       fmt::format(R"({{"active_profile": "p", "profiles": [{}, "selected_model": null}}]}})", profile)},
      {"selection not listed",
       fmt::format(R"({{"active_profile": "p", "profiles": [{}, "selected_model": "m3"}}]}})", profile)},
      {"selection in another profile",
       R"({"active_profile": "p", "profiles": [
            {"id": "p", "protocol": "messages", "base_url": "https://a.example", "models": ["x"],
             "selected_model": "y"},
            {"id": "q", "protocol": "messages", "base_url": "https://b.example", "models": ["y"]}]})"},
  };
  for (const auto& c : cases) {
    write(c.file);
    auto config = ProviderConfig::load();
    ASSERT_TRUE(config) << c.name << ": " << config.error().display();
    EXPECT_EQ(config->model_target(), std::nullopt) << c.name;
  }
}

struct BrokenCase {
  const char* name;
  std::string file;
  std::string message;  // the innermost error text
};

TEST_F(ProviderConfigTest, MalformedFilesAreErrorsNamingTheFault) {
  const BrokenCase cases[] = {
      {"not JSON", R"({"profiles": [)", "not JSON"},
      {"not an object", R"(["anthropic"])", "the provider configuration must be a JSON object"},
      {"profiles not an array", R"({"profiles": {}})", "profiles must be an array"},
      {"active profile not a text", R"({"active_profile": 3})", "configuration.active_profile must be a text"},
      {"profile not an object", R"({"profiles": ["p"]})", "profiles[0] must be an object"},
      {"no id", R"({"profiles": [{"protocol": "messages", "base_url": "https://a.example"}]})",
       "profiles[0].id must be a non-empty text"},
      {"unknown protocol",
       R"({"profiles": [{"id": "p", "protocol": "grpc", "base_url": "https://a.example"}]})",
       "profiles[0].protocol must be \"messages\" or \"chat-completions\", not \"grpc\""},
      {"no base URL", R"({"profiles": [{"id": "p", "protocol": "messages"}]})",
       "profiles[0].base_url must be a non-empty text"},
      {"base URL of another scheme",
       R"({"profiles": [{"id": "p", "protocol": "messages", "base_url": "ftp://a.example"}]})",
       "profiles[0].base_url must be an http, https or unix URL, not \"ftp://a.example\""},
      {"base URL without host",
       R"({"profiles": [{"id": "p", "protocol": "messages", "base_url": "https:///v1"}]})",
       "profiles[0].base_url must be an http, https or unix URL, not \"https:///v1\""},
      {"key variable with a bad name",
       R"({"profiles": [{"id": "p", "protocol": "messages", "base_url": "https://a.example",
                         "api_key_env": "sk-ant-123"}]})",
       "profiles[0].api_key_env must be an environment variable name, not \"sk-ant-123\""},
      {"models not an array",
       R"({"profiles": [{"id": "p", "protocol": "messages", "base_url": "https://a.example",
                         "models": "m"}]})",
       "profiles[0].models must be an array"},
      {"model without id",
       R"({"profiles": [{"id": "p", "protocol": "messages", "base_url": "https://a.example",
                         "models": [{"label": "M"}]}]})",
       "profiles[0].models[0].id must be a non-empty text"},
      {"repeated model",
       R"({"profiles": [{"id": "p", "protocol": "messages", "base_url": "https://a.example",
                         "models": ["m", {"id": "m"}]}]})",
       "profiles[0].models[1] repeats the model \"m\""},
      {"tool use not a flag",
       R"({"profiles": [{"id": "p", "protocol": "messages", "base_url": "https://a.example",
                         "tool_use": "yes"}]})",
       "profiles[0].tool_use must be true or false"},
      {"repeated profile",
       R"({"profiles": [{"id": "p", "protocol": "messages", "base_url": "https://a.example"},
                        {"id": "p", "protocol": "messages", "base_url": "https://b.example"}]})",
       "profiles[1] repeats the profile id \"p\""},
  };
  for (const auto& c : cases) {
    write(c.file);
    auto config = ProviderConfig::load();
    ASSERT_FALSE(config) << c.name;
    EXPECT_TRUE(config.error().message().starts_with(c.message))
        << c.name << ": " << config.error().message();
    EXPECT_NE(config.error().display().find(file().string()), std::string::npos) << c.name;
  }
}

TEST_F(ProviderConfigTest, MissingOrUnreadableFileIsAnErrorNotACrash) {
  auto missing = ProviderConfig::load();
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().message(), "no provider configuration at " + file().string());

  fs::create_directories(file());  // a folder where the file should be
  auto folder = ProviderConfig::load();
  ASSERT_FALSE(folder);
  EXPECT_EQ(folder.error().message(), file().string() + " is not a regular file");
  fs::remove(file());

  write(std::string(2 << 20, ' '));
  auto huge = ProviderConfig::load();
  ASSERT_FALSE(huge);
  EXPECT_NE(huge.error().message().find("is larger than"), std::string::npos);
}

TEST_F(ProviderConfigTest, FileIsFoundUnderHomeWithoutAnAbsoluteXdgConfigHome) {
  for (std::optional<std::string> xdg : {std::optional<std::string>(), std::optional<std::string>(""),
                                         std::optional<std::string>("relative/config")}) {
    env_.set("XDG_CONFIG_HOME", xdg);
    env_.set("HOME", "/home/someone");
    auto path = ProviderConfig::default_path();
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, fs::path("/home/someone/.config/pelto/providers.json"));
  }
  env_.set("HOME", std::nullopt);
  EXPECT_FALSE(ProviderConfig::default_path());
  env_.set("XDG_CONFIG_HOME", "/etc/xdg-user");
  EXPECT_EQ(ProviderConfig::default_path().value(), fs::path("/etc/xdg-user/pelto/providers.json"));
}

}  // namespace
}  // namespace pelto::gateway
