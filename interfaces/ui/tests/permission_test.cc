#include "interfaces/ui/permission.h"

#include <gtest/gtest.h>

namespace pelto::ui {
namespace {

constexpr const char* kWordProcessor = "so.pelto.word-processor";

PermissionContext single(std::string grant, std::string app = kWordProcessor) {
  return PermissionContext::from_capabilities({{"Vesk"}}, {{"Vesk", std::move(app), std::move(grant)}});
}

struct GrantCase {
  std::string grant;
  std::optional<PermissionLevel> ceiling;
};

TEST(PermissionTest, EachGrantAllowsUpToItsCeilingOnItsApp) {
  const GrantCase cases[] = {
      {"viewer", PermissionLevel::Read},     {"commenter", PermissionLevel::Comment},
      {"invited", PermissionLevel::Write},   {"editor", PermissionLevel::Write},
      {"owner", PermissionLevel::Admin},     {"Owner", std::nullopt},
      {"admin", std::nullopt},               {"", std::nullopt},
  };
  for (const auto& c : cases) {
    PermissionContext context = single(c.grant);
    EXPECT_EQ(context.ceiling(kWordProcessor), c.ceiling) << c.grant;
    for (int level = 0; level <= 5; ++level) {
      bool expected = c.ceiling && level <= static_cast<int>(*c.ceiling);
      EXPECT_EQ(context.check({kWordProcessor, "edit", static_cast<PermissionLevel>(level)}), expected)
          << c.grant << " at level " << level;
    }
  }
}

// The agent's own context, as startup builds it: one principal, one capability for its app.
TEST(PermissionTest, InvitedAgentWritesOnEveryAppOfTheRoomButNeverInvitesOrAdministers) {
  PermissionContext agent = single("invited");
  const char* apps[] = {"so.pelto.word-processor", "so.pelto.chat", "so.pelto.photos",
                        "word-processor", "chat", "photos", "broker-provided-app"};
  for (const char* app : apps) {
    for (auto level : {PermissionLevel::Read, PermissionLevel::Comment, PermissionLevel::Write}) {
      EXPECT_TRUE(agent.check({app, "act", level})) << app;
    }
    EXPECT_FALSE(agent.check({app, "act", PermissionLevel::Invite})) << app;
    EXPECT_FALSE(agent.check({app, "act", PermissionLevel::Admin})) << app;
  }
  EXPECT_FALSE(agent.check({"", "act", PermissionLevel::Read}));
}

TEST(PermissionTest, AppScopedGrantsCoverTheirIdAndNamespaceOnly) {
  PermissionContext owner = single("owner");
  EXPECT_TRUE(owner.check({"so.pelto.word-processor", "delete", PermissionLevel::Admin}));
  EXPECT_TRUE(owner.check({"word-processor", "delete", PermissionLevel::Admin}));
  EXPECT_FALSE(owner.check({"processor", "delete", PermissionLevel::Read}));
  EXPECT_FALSE(owner.check({"so.pelto.chat", "post", PermissionLevel::Read}));
  EXPECT_FALSE(owner.check({"chat", "post", PermissionLevel::Read}));
  EXPECT_FALSE(owner.check({"x-word-processor", "delete", PermissionLevel::Read}));
}

TEST(PermissionTest, HighestGrantWinsAndStrangersHoldNothing) {
  PermissionContext context = PermissionContext::from_capabilities(
      {{"Vesk"}},
      {{"Vesk", "so.pelto.chat", "viewer"},
       {"Vesk", "so.pelto.chat", "owner"},
       {"Mallory", "so.pelto.photos", "owner"},
       {"Vesk", "so.pelto.photos", "bogus"}});
  EXPECT_TRUE(context.check({"chat", "delete", PermissionLevel::Admin}));
  EXPECT_FALSE(context.check({"photos", "view", PermissionLevel::Read}));
  EXPECT_FALSE(PermissionContext().check({"chat", "view", PermissionLevel::Read}));
}

}  // namespace
}  // namespace pelto::ui
