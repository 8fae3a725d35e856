#include "interfaces/gateway/availability.h"

#include <gtest/gtest.h>

#include "interfaces/gateway/tests/env_guard.h"

namespace pelto::gateway {
namespace {

TEST(AvailabilityTest, ReachOfBaseUrls) {
  const std::pair<const char*, Reach> cases[] = {
      {"http://localhost:8080/v1", Reach::ThisMachine},
      {"http://LOCALHOST", Reach::ThisMachine},
      {"https://127.0.0.1/v1", Reach::ThisMachine},
      {"http://127.1.2.3:9000", Reach::ThisMachine},
      {"http://[::1]:8000/v1", Reach::ThisMachine},
      {"unix:///run/llama.sock", Reach::ThisMachine},
      {"unix:/run/llama.sock", Reach::ThisMachine},
      {"https://api.anthropic.com", Reach::RemoteEncrypted},
      {"https://localhost.example.com", Reach::RemoteEncrypted},
      {"https://127.0.0.1.example.com", Reach::RemoteEncrypted},
      {"https://localhost@evil.example", Reach::RemoteEncrypted},
      {"http://[::2]", Reach::RemoteCleartext},
      {"http://192.168.1.10:8000/v1", Reach::RemoteCleartext},
      {"ftp://localhost", Reach::Invalid},
      {"localhost:8080", Reach::Invalid},
      {"not a url", Reach::Invalid},
      {"https://", Reach::Invalid},
      {"", Reach::Invalid},
  };
  for (const auto& [url, reach] : cases) EXPECT_EQ(reach_of(url), reach) << url;
}

struct AvailableCase {
  const char* name;
  const char* base_url;
  std::optional<std::string> key_env;
  std::optional<std::string> key_value;  // value of PELTO_TEST_KEY; nothing: unset
  bool available;
};

TEST(AvailabilityTest, AvailableOnlyWithCredentialsOrOnThisMachine) {
  const AvailableCase cases[] = {
      {"remote with key", "https://api.anthropic.com", "PELTO_TEST_KEY", "sk-123", true},
      {"remote, key unset", "https://api.anthropic.com", "PELTO_TEST_KEY", std::nullopt, false},
      {"remote, key empty", "https://api.anthropic.com", "PELTO_TEST_KEY", "", false},
      {"remote, no key named", "https://api.anthropic.com", std::nullopt, "sk-123", false},
      {"remote, other variable named", "https://api.anthropic.com", "PELTO_OTHER_KEY", "sk-123", false},
      {"local without key", "http://localhost:8080/v1", std::nullopt, std::nullopt, true},
      {"local, named key unset", "http://127.0.0.1:8080", "PELTO_TEST_KEY", std::nullopt, true},
      {"unix socket", "unix:///run/llama.sock", std::nullopt, std::nullopt, true},
      // The key would cross the network in the clear.
      {"remote cleartext with key", "http://api.example.com", "PELTO_TEST_KEY", "sk-123", false},
  };
  testing::EnvGuard env;
  env.set("PELTO_OTHER_KEY", std::nullopt);
  for (const auto& c : cases) {
    env.set("PELTO_TEST_KEY", c.key_value);
    ModelTarget target;
    target.profile.id = "p";
    target.profile.base_url = c.base_url;
    target.profile.api_key_env = c.key_env;
    target.model.id = "m";
    target.profile.models = {target.model};
    target.profile.selected_model = "m";
    EXPECT_EQ(available(target), c.available) << c.name;
  }
  EXPECT_FALSE(available(std::nullopt));
}

}  // namespace
}  // namespace pelto::gateway
