#pragma once
// The agent's command line: long options only, no environment fallbacks, no configuration file.
#include <string>
#include <variant>

#include "apps/agent/cli/settings.h"

namespace pelto::agent {

struct CommandLine {
  Settings settings;
  bool task_runs = false;  // chooses the run mode; not part of the settings record
};

// What the parser's standard behaviour does instead of yielding settings: help (status 0, standard
// output) or a usage error (status 2, standard error: the parser's message and the usage line).
struct ParseExit {
  int status = 0;
  std::string out;
  std::string err;
};

std::variant<CommandLine, ParseExit> parse_command_line(int argc, const char* const* argv);

}  // namespace pelto::agent
