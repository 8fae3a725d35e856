#pragma once
// The agent's start: opens the room connection, joins and asks for the document, says whether a
// model or the keyword vocabulary will choose, and builds the session record the run mode owns.
#include "apps/agent/cli/cli.h"
#include "apps/agent/session/record.h"
#include "interfaces/base/error.h"

namespace pelto::agent {

// The agent's permission context: its name as the one principal, one capability for its app under
// the grant "invited".
ui::PermissionContext agent_permissions(const Settings& settings);

Result<SessionRecord> start_session(Settings settings);

// What happens after the command line was parsed: start, then the run mode. The process's exit
// status: 0 on success, 1 with "Error: " and the chain of causes on standard error.
int run(CommandLine command_line);

}  // namespace pelto::agent
