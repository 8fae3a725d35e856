#include "apps/agent/startup/startup.h"

#include <cstdio>

#include "apps/agent/session/driver.h"
#include "interfaces/base/log.h"
#include "interfaces/gateway/availability.h"

namespace pelto::agent {
namespace {

constexpr std::string_view kTarget = "agent";

ModelPlannerSettings model_settings(const Settings& settings) {
  ModelPlannerSettings m;
  m.timeout = settings.model_timeout;
  m.use_model = settings.use_model;
  auto config = gateway::ProviderConfig::load();
  if (config) {
    m.target = config->model_target();
    if (!m.target) log::debug(kTarget, "the provider configuration names no model");
  } else {
    log::info(kTarget, "no provider configuration", {{"reason", config.error().display()}});
  }
  m.live = m.use_model && m.target && gateway::available(m.target);
  std::optional<std::string> model;
  if (m.target) model = m.target->model.id;
  log::info(kTarget,
            m.live ? "a model chooses from the app's exported actions"
                   : "no model available; the keyword vocabulary chooses",
            {{"live", m.live}, {"model", model}, {"timeout_ms", settings.model_timeout.whole_ms()}});
  return m;
}

// Task leases come with the task-run loop; until then this mode keeps the connection and shows
// what the broker sends.
Result<void> run_task_runs(SessionRecord& s) {
  log::info(kTarget, "this agent does not take task leases yet; it only logs what the broker sends");
  for (;;) {
    PELTO_TRY(auto event, s.connection.next_event(kTickWait), "wait for the broker");
    if (event) log::debug(kTarget, "an event arrived", {{"kind", collab::kind_name(event->body)}});
  }
}

}  // namespace

ui::PermissionContext agent_permissions(const Settings& settings) {
  return ui::PermissionContext::from_capabilities(
      {ui::Principal{settings.name}},
      {ui::Capability{settings.name, settings.app, std::string(ui::grant::invited)}});
}

Result<SessionRecord> start_session(Settings settings) {
  wire::ConnectSettings connect{settings.app, settings.name, settings.endpoint, settings.record, settings.room};
  PELTO_TRY(auto connection, wire::RoomConnection::open(connect), "open the room connection");
  PELTO_CHECK(connection.join(), "join the room");
  log::info(kTarget, "joined the room; waiting for the document",
            {{"transport", wire::transport_name(connection.transport())},
             {"app", settings.app},
             {"room", room_text(settings.room)},
             {"record", settings.record},
             {"name", settings.name}});
  auto model = model_settings(settings);
  crdt::ActorId actor = crdt::ActorId::from_string(settings.name);
  return SessionRecord{std::move(settings), std::move(connection), std::move(actor), std::nullopt, {},
                       std::move(model), Clock::now(), std::nullopt, {}, {}};
}

int run(CommandLine command_line) {
  command_line.settings.permission = agent_permissions(command_line.settings);
  auto session = start_session(std::move(command_line.settings));
  Result<void> ended = session ? (command_line.task_runs ? run_task_runs(*session) : run_document_session(*session))
                               : Result<void>(std::unexpected(std::move(session.error())));
  if (session) (void)session->connection.flush(std::chrono::milliseconds(1000));
  if (ended) return 0;
  std::fprintf(stderr, "Error: %s\n", ended.error().display().c_str());
  return 1;
}

}  // namespace pelto::agent
