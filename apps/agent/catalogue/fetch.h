#pragma once
// Fetching the action catalogue the action host publishes for the room.
//
// The request goes to the room; the wait for the reply lasts at most 10 s, and every unrelated
// event that arrives meanwhile is put back, in order, for the session to see next.
#include <chrono>
#include <optional>
#include <vector>

#include "apps/agent/wire/connection.h"
#include "interfaces/base/error.h"
#include "interfaces/collab/messages.h"

namespace pelto::agent {

inline constexpr auto kCatalogueWait = std::chrono::seconds(10);

struct ActionCatalogue {
  std::vector<collab::CatalogueEntry> entries;
  std::chrono::steady_clock::time_point fetched_at;
};

// Success stores the catalogue and its instant; a refusal or no answer in time only logs and keeps
// the previous catalogue. Fails on a broken connection or a document event without its mutation.
Result<void> fetch_catalogue(wire::RoomConnection& connection, std::optional<ActionCatalogue>& catalogue,
                             std::chrono::nanoseconds wait = kCatalogueWait);

}  // namespace pelto::agent
