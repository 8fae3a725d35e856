#pragma once
// The session record: the run state a run mode owns from startup until it returns. Replicas live
// as long as it does; other replicas are only ever added.
#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "apps/agent/apply/replica.h"
#include "apps/agent/catalogue/fetch.h"
#include "apps/agent/cli/settings.h"
#include "apps/agent/wire/connection.h"
#include "interfaces/crdt/types.h"
#include "interfaces/gateway/provider_config.h"

namespace pelto::agent {

using Clock = std::chrono::steady_clock;

struct ModelPlannerSettings {
  std::optional<gateway::ModelTarget> target;
  Duration timeout;
  bool use_model = true;
  bool live = false;
};

struct PendingInstruction {
  std::string text;
  Clock::time_point seen_at;
};

struct SessionRecord {
  Settings settings;
  wire::RoomConnection connection;
  crdt::ActorId actor;                  // the UTF-8 bytes of the agent's name
  std::optional<Replica> document;      // the addressed document, once received
  std::vector<Replica> others;          // in the order they joined
  ModelPlannerSettings model;
  Clock::time_point last_ask;
  std::optional<ActionCatalogue> catalogue;
  std::set<std::string> handled;
  std::map<std::string, PendingInstruction> pending;
};

}  // namespace pelto::agent
