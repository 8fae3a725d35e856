#pragma once
// Running a child process to completion and capturing what it wrote, for tools and process-level
// tests. The child inherits the environment plus `extra_env` ("KEY=value"; "KEY=" with nothing after
// the "=" removes KEY).
#include <string>
#include <vector>

#include "interfaces/base/error.h"

namespace pelto {

struct ProcessOutput {
  int status = -1;  // exit status, or 128 + signal number when killed by a signal
  std::string out;
  std::string err;
};

// The environment a child gets: this process's, with `extra_env` applied ("KEY=" removes KEY),
// as "KEY=value" entries sorted by key.
std::vector<std::string> child_environment(const std::vector<std::string>& extra_env);

Result<ProcessOutput> run_capture(const std::vector<std::string>& argv,
                                  const std::vector<std::string>& extra_env = {});

}  // namespace pelto
