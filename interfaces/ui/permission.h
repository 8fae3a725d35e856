#pragma once
// The permission context: who acts in the room and what each grant lets them do.
//
// A context is built once from principals and the capabilities they hold, then only read; it is a
// plain value (copy it freely) and safe to read from several threads.
//
// Levels, lowest to highest: 0 read, 1 comment, 2 write, 3 invite, 4 admin. A grant allows every
// level up to its ceiling: "viewer" 0, "commenter" 1, "invited" and "editor" 2, "owner" 4. An
// unknown grant allows nothing (not even reading), so a typo never widens access.
//
// Scope: "invited" is an invitation into the room, so it allows its levels on every application of
// the room whichever app the capability names; every other grant holds only for its own app. The
// app of a request is either an application id ("so.pelto.word-processor") or the namespace that
// the application's resource ids start with ("word-processor"); a capability's app covers both,
// since a namespace is the last dot-separated part of its application id.
//
// A capability whose principal is not among the context's principals allows nothing.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelto::ui {

namespace grant {
inline constexpr std::string_view viewer = "viewer";
inline constexpr std::string_view commenter = "commenter";
inline constexpr std::string_view invited = "invited";
inline constexpr std::string_view editor = "editor";
inline constexpr std::string_view owner = "owner";
}  // namespace grant

enum class PermissionLevel : uint8_t { Read = 0, Comment = 1, Write = 2, Invite = 3, Admin = 4 };

struct Principal {
  std::string name;
};

struct Capability {
  std::string principal;  // a Principal's name
  std::string app;        // application id
  std::string grant;      // one of pelto::ui::grant
};

// What an operation needs: its app (application id or namespace), the action, and a level.
struct PermissionRequest {
  std::string app;
  std::string action;
  PermissionLevel level = PermissionLevel::Read;
};

// The highest level a grant allows; nothing for an unknown grant.
std::optional<PermissionLevel> grant_ceiling(std::string_view grant);

class PermissionContext {
 public:
  PermissionContext() = default;  // no principal: refuses everything

  static PermissionContext from_capabilities(std::vector<Principal> principals,
                                             std::vector<Capability> capabilities);

  // True when some capability of a listed principal allows the request's level on its app.
  bool check(const PermissionRequest& request) const;
  // The highest level allowed on `app`; nothing when no capability covers it.
  std::optional<PermissionLevel> ceiling(std::string_view app) const;

  const std::vector<Principal>& principals() const { return principals_; }
  const std::vector<Capability>& capabilities() const { return capabilities_; }

 private:
  std::vector<Principal> principals_;
  std::vector<Capability> capabilities_;
};

}  // namespace pelto::ui
