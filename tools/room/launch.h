#pragma once
// `pelto-room launch`: starts the agent the way a workspace session does. It connects to the
// broker's socket itself and hands the connected socket to the agent as an inherited descriptor whose
// number PELTO_SVC_COLLAB_FD holds; the agent never learns the socket's path.
//
// The launcher keeps no copy of the socket once the agent runs, passes SIGINT and SIGTERM on to it,
// and ends with the agent's exit status (128 + the signal number when a signal ended it).
#include <string>
#include <vector>

#include "interfaces/base/error.h"

namespace pelto::room {

struct LaunchOptions {
  std::string socket;
  std::string agent;  // empty: default_agent_path()
  std::vector<std::string> args;
};

// The pelto-agent built beside this program, else one in the same directory as this program.
std::string default_agent_path();

// Gives the agent's exit status.
Result<int> launch(const LaunchOptions& options);

}  // namespace pelto::room
