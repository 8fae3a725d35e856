#include "interfaces/ui/permission.h"

#include <algorithm>

namespace pelto::ui {
namespace {

// Whether a capability granted for `held` (an application id) covers the requested app, given as
// the same id or as the namespace that ends it ("so.pelto.word-processor" covers "word-processor").
bool app_covers(std::string_view held, std::string_view requested) {
  if (requested.empty()) return false;
  if (held == requested) return true;
  return held.size() > requested.size() && held.ends_with(requested) &&
         held[held.size() - requested.size() - 1] == '.';
}

}  // namespace

std::optional<PermissionLevel> grant_ceiling(std::string_view g) {
  if (g == grant::viewer) return PermissionLevel::Read;
  if (g == grant::commenter) return PermissionLevel::Comment;
  if (g == grant::invited || g == grant::editor) return PermissionLevel::Write;
  if (g == grant::owner) return PermissionLevel::Admin;
  return std::nullopt;
}

PermissionContext PermissionContext::from_capabilities(std::vector<Principal> principals,
                                                       std::vector<Capability> capabilities) {
  PermissionContext context;
  context.principals_ = std::move(principals);
  context.capabilities_ = std::move(capabilities);
  return context;
}

std::optional<PermissionLevel> PermissionContext::ceiling(std::string_view app) const {
  std::optional<PermissionLevel> best;
  for (const Capability& cap : capabilities_) {
    bool held = std::ranges::any_of(principals_,
                                    [&](const Principal& p) { return p.name == cap.principal; });
    if (!held) continue;
    auto level = grant_ceiling(cap.grant);
    if (!level) continue;
    bool room_wide = cap.grant == grant::invited;
    if (!room_wide && !app_covers(cap.app, app)) continue;
    if (room_wide && app.empty()) continue;
    if (!best || *level > *best) best = level;
  }
  return best;
}

bool PermissionContext::check(const PermissionRequest& request) const {
  auto allowed = ceiling(request.app);
  return allowed && request.level <= *allowed;
}

}  // namespace pelto::ui
