#pragma once
// Sets environment variables for one test and restores what was there before.
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace pelto::gateway::testing {

class EnvGuard {
 public:
  EnvGuard() = default;
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;
  ~EnvGuard() {
    for (auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }
  void set(const std::string& name, const std::optional<std::string>& value) {
    if (!saved_.contains(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace pelto::gateway::testing
