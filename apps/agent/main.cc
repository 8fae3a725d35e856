#include <cstdio>
#include <variant>

#include "apps/agent/cli/cli.h"
#include "interfaces/base/log.h"

int main(int argc, char** argv) {
  pelto::log::install();
  auto parsed = pelto::agent::parse_command_line(argc, argv);
  if (auto* exit = std::get_if<pelto::agent::ParseExit>(&parsed)) {
    std::fputs(exit->out.c_str(), stdout);
    std::fputs(exit->err.c_str(), stderr);
    return exit->status;
  }
  std::fputs("Error: the room connection is not built into this agent yet, so it cannot join a room\n",
             stderr);
  return 1;
}
