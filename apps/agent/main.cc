#include <cstdio>
#include <variant>

#include "apps/agent/cli/cli.h"
#include "apps/agent/startup/startup.h"
#include "interfaces/base/log.h"

int main(int argc, char** argv) {
  pelto::log::install();
  auto parsed = pelto::agent::parse_command_line(argc, argv);
  if (auto* exit = std::get_if<pelto::agent::ParseExit>(&parsed)) {
    std::fputs(exit->out.c_str(), stdout);
    std::fputs(exit->err.c_str(), stderr);
    return exit->status;
  }
  return pelto::agent::run(std::move(std::get<pelto::agent::CommandLine>(parsed)));
}
