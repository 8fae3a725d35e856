#pragma once
// The document session: waits for the document addressed to the agent, keeps the replicas in step
// with the room, answers participants who ask for documents it holds, and looks at every change.
#include <chrono>
#include <string>

#include "apps/agent/session/record.h"
#include "interfaces/base/error.h"

namespace pelto::agent {

inline constexpr auto kTickWait = std::chrono::milliseconds(100);
inline constexpr auto kAskAgainEvery = std::chrono::milliseconds(750);
inline constexpr auto kCatalogueAtMostEvery = std::chrono::seconds(1);

struct TickOutcome {
  bool document_changed = false;
  bool instruction_carried_out = false;
};

// One tick: ask again if due, wait up to 100 ms for one event and handle it.
Result<TickOutcome> tick(SessionRecord& session);

// Ticks until `--once` is satisfied (success) or the document never came (the give-up failure).
Result<void> run_document_session(SessionRecord& session);

// The one-line failure when nobody answered with the document in the give-up time.
std::string give_up_message(const Settings& settings);

}  // namespace pelto::agent
