#include "interfaces/base/log.h"

#include <cstdlib>
#include <optional>

#include <gtest/gtest.h>

namespace pelto::log {
namespace {

TEST(LogFilter, UnsetEmptyOrNonsenseMeansInfo) {
  for (const char* value : {static_cast<const char*>(nullptr), "", "loud", "wire=shout", "=debug", ","}) {
    if (value == nullptr)
      unsetenv("SPDLOG_LEVEL");
    else
      setenv("SPDLOG_LEVEL", value, 1);
    Filter f = filter_from_env();
    EXPECT_EQ(f.default_level, Level::info) << (value ? value : "(unset)");
    EXPECT_TRUE(f.targets.empty()) << (value ? value : "(unset)");
  }
  unsetenv("SPDLOG_LEVEL");
}

TEST(LogFilter, ValidDirectivesOverrideTheDefault) {
  setenv("SPDLOG_LEVEL", "debug", 1);
  EXPECT_EQ(filter_from_env().default_level, Level::debug);
  setenv("SPDLOG_LEVEL", "warn, wire=trace ,agent::session=error", 1);
  Filter f = filter_from_env();
  unsetenv("SPDLOG_LEVEL");
  EXPECT_EQ(f.default_level, Level::warn);
  EXPECT_EQ(f.level_for("wire"), Level::trace);
  EXPECT_EQ(f.level_for("wire::client"), Level::trace);
  EXPECT_EQ(f.level_for("wirex"), Level::warn);
  EXPECT_EQ(f.level_for("agent::session"), Level::err);
  EXPECT_EQ(f.level_for("agent"), Level::warn);
}

TEST(LogFilter, TargetOnlyDirectiveKeepsInfoDefault) {
  auto f = parse_filter("crdt=debug");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->default_level, Level::info);
  EXPECT_EQ(f->level_for("crdt"), Level::debug);
}

TEST(LogLine, FieldsAsKeyValueQuotedWhenNeeded) {
  std::optional<std::string> no_record;
  std::optional<std::string> record = "file:/a b.docx";
  EXPECT_EQ(render("joined", {{"app", "so.pelto.word-processor"}, {"record", no_record},
                              {"live", false}, {"timeout_ms", uint64_t{9000}}, {"name", "Vesk"}}),
            "joined app=so.pelto.word-processor live=false timeout_ms=9000 name=Vesk");
  EXPECT_EQ(render("m", {{"record", record}, {"empty", ""}, {"q", "say \"hi\""}}),
            "m record=\"file:/a b.docx\" empty=\"\" q=\"say \\\"hi\\\"\"");
}

}  // namespace
}  // namespace pelto::log
