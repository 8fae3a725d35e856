#include "apps/agent/cli/cli.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "interfaces/base/subprocess.h"

namespace pelto::agent {
namespace {

constexpr const char* kRoom = "3f1c2b4a-9d8e-4f70-8a6b-5c4d3e2f1a0b";

std::variant<CommandLine, ParseExit> parse(std::vector<std::string> args) {
  args.insert(args.begin(), "pelto-agent");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  return parse_command_line(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLine, OnlyWorkspaceGivesTheDefaults) {
  auto r = parse({"--workspace", kRoom});
  ASSERT_TRUE(std::holds_alternative<CommandLine>(r));
  const auto& cl = std::get<CommandLine>(r);
  const Settings& s = cl.settings;
  EXPECT_EQ(room_text(s.room), kRoom);
  EXPECT_EQ(s.app, "so.pelto.word-processor");
  EXPECT_EQ(s.name, "Vesk");
  EXPECT_EQ(s.pace, duration_from_ms(250));
  EXPECT_EQ(s.model_timeout, duration_from_ms(9000));
  EXPECT_EQ(s.await_document, duration_from_ms(60000));
  EXPECT_EQ(s.settle, duration_from_ms(0));
  EXPECT_FALSE(s.record);
  EXPECT_FALSE(s.endpoint);
  EXPECT_FALSE(s.once);
  EXPECT_TRUE(s.use_model);
  EXPECT_FALSE(cl.task_runs);
}

TEST(CommandLine, ValuesReachTheSettings) {
  auto r = parse({"--workspace", kRoom, "--pace-ms", "1500", "--no-model", "--once", "--task-runs",
                  "--record", "file:/var/workspace/Demo/brief.docx", "--endpoint", "/tmp/b.sock",
                  "--name", "Ilo", "--app", "so.pelto.chat", "--settle-ms", "0",
                  "--await-document-ms", "0", "--model-timeout-ms", "18446744073709551615"});
  ASSERT_TRUE(std::holds_alternative<CommandLine>(r));
  const auto& cl = std::get<CommandLine>(r);
  const Settings& s = cl.settings;
  EXPECT_EQ(s.pace.seconds, 1u);
  EXPECT_EQ(s.pace.nanos, 500000000u);
  EXPECT_FALSE(s.use_model);
  EXPECT_TRUE(s.once);
  EXPECT_TRUE(cl.task_runs);
  EXPECT_EQ(s.record, "file:/var/workspace/Demo/brief.docx");
  EXPECT_EQ(s.endpoint, "/tmp/b.sock");
  EXPECT_EQ(s.name, "Ilo");
  EXPECT_EQ(s.app, "so.pelto.chat");
  EXPECT_TRUE(s.await_document.is_zero());
  EXPECT_EQ(s.model_timeout.seconds, 18446744073709551ull);
  EXPECT_EQ(s.model_timeout.nanos, 615000000u);
  EXPECT_EQ(s.model_timeout.to_chrono(), std::chrono::nanoseconds::max());
}

struct UsageCase {
  const char* what;
  std::vector<std::string> args;
  const char* err_contains;
};

TEST(CommandLine, UsageErrorsExitTwoWithMessageAndUsage) {
  const UsageCase cases[] = {
      {"missing workspace", {"--name", "Vesk"}, "--workspace"},
      {"not a uuid", {"--workspace", "not-a-uuid"}, "not-a-uuid"},
      {"not a number", {"--workspace", kRoom, "--pace-ms", "fast"}, "--pace-ms"},
      {"negative", {"--workspace", kRoom, "--pace-ms", "-1"}, "--pace-ms"},
      {"past u64", {"--workspace", kRoom, "--settle-ms", "18446744073709551616"}, "--settle-ms"},
      {"unknown option", {"--workspace", kRoom, "--colour"}, "--colour"},
      {"short option", {"--workspace", kRoom, "-n", "Vesk"}, "-n"},
      {"version", {"--workspace", kRoom, "--version"}, "--version"},
      {"second value", {"--workspace", kRoom, "--name", "A", "--name", "B"}, "--name"},
      {"second workspace", {"--workspace", kRoom, "--workspace", kRoom}, "--workspace"},
      {"repeated flag", {"--workspace", kRoom, "--once", "--once"}, "--once"},
  };
  for (const auto& c : cases) {
    auto r = parse(c.args);
    ASSERT_TRUE(std::holds_alternative<ParseExit>(r)) << c.what;
    const auto& exit = std::get<ParseExit>(r);
    EXPECT_EQ(exit.status, 2) << c.what;
    EXPECT_TRUE(exit.out.empty()) << c.what;
    EXPECT_NE(exit.err.find(c.err_contains), std::string::npos) << c.what << ": " << exit.err;
    EXPECT_NE(exit.err.find("Usage: pelto-agent"), std::string::npos) << c.what;
  }
}

constexpr const char* kSecondParagraph = "Bounds the retries too";

TEST(AgentProcess, LongHelpUnderHelpShortUnderH) {
  auto long_help = run_capture({PELTO_AGENT_BIN, "--help"});
  ASSERT_TRUE(long_help);
  EXPECT_EQ(long_help->status, 0);
  EXPECT_TRUE(long_help->err.empty());
  EXPECT_NE(long_help->out.find("A participant without a window: joins a word-processor document"),
            std::string::npos);
  EXPECT_NE(long_help->out.find(kSecondParagraph), std::string::npos);
  EXPECT_NE(long_help->out.find("must never wait on the network.\n"), std::string::npos);
  EXPECT_NE(long_help->out.find("--workspace <WORKSPACE>"), std::string::npos);

  auto short_help = run_capture({PELTO_AGENT_BIN, "-h"});
  ASSERT_TRUE(short_help);
  EXPECT_EQ(short_help->status, 0);
  EXPECT_EQ(short_help->out.find(kSecondParagraph), std::string::npos);
  EXPECT_NE(short_help->out.find("must never wait on the network"), std::string::npos);
  EXPECT_NE(short_help->out.find("--model-timeout-ms <MODEL_TIMEOUT_MS>"), std::string::npos);
}

TEST(AgentProcess, UsageErrorsGoToStandardErrorWithStatusTwo) {
  for (std::vector<std::string> args : {std::vector<std::string>{PELTO_AGENT_BIN, "--workspace", "not-a-uuid"},
                                        {PELTO_AGENT_BIN, "--workspace", kRoom, "--bogus"},
                                        {PELTO_AGENT_BIN}}) {
    auto r = run_capture(args);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 2) << args.back();
    EXPECT_TRUE(r->out.empty());
    EXPECT_NE(r->err.find("Usage: pelto-agent"), std::string::npos) << r->err;
  }
}

}  // namespace
}  // namespace pelto::agent
