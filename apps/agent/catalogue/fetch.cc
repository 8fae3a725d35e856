#include "apps/agent/catalogue/fetch.h"

#include "interfaces/base/log.h"

namespace pelto::agent {
namespace {
constexpr std::string_view kTarget = "agent::catalogue";
}

Result<void> fetch_catalogue(wire::RoomConnection& connection, std::optional<ActionCatalogue>& catalogue,
                             std::chrono::nanoseconds wait) {
  using Clock = std::chrono::steady_clock;
  connection.send(collab::CatalogueRequest{});
  const auto deadline = Clock::now() + wait;
  std::vector<collab::CollabEvent> unrelated;
  auto finish = [&](Result<void> r) {
    connection.put_back(std::move(unrelated));
    return r;
  };
  for (;;) {
    auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
    auto event = connection.next_event(left);
    if (!event) return finish(fail(std::move(event.error())));
    if (!*event) {
      log::warn(kTarget, "the action host did not answer the catalogue request");
      return finish({});
    }
    if ((*event)->is_document_mutation()) {
      auto m = wire::mutation_of(**event);
      if (!m) return finish(fail(std::move(m.error())));
    }
    if (const auto* reply = (*event)->get<collab::CatalogueReply>()) {
      if (const auto* refusal = std::get_if<collab::CatalogueRefusal>(&reply->answer)) {
        log::warn(kTarget, "the action host refused the catalogue", {{"error", refusal->reason}});
        return finish({});
      }
      const auto& entries = std::get<std::vector<collab::CatalogueEntry>>(reply->answer);
      catalogue = ActionCatalogue{entries, Clock::now()};
      log::debug(kTarget, "fetched the action catalogue", {{"actions", entries.size()}});
      return finish({});
    }
    unrelated.push_back(std::move(**event));
    if (Clock::now() >= deadline) {
      log::warn(kTarget, "the action host did not answer the catalogue request");
      return finish({});
    }
  }
}

}  // namespace pelto::agent
