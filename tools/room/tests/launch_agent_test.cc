// pelto-room launch with the real agent: the agent joins through the socket it inherited, takes the
// served document, and its exit status is the launcher's.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "interfaces/base/subprocess.h"
#include "tools/room/tests/child.h"
#include "tools/room/tests/room_fixture.h"

namespace pelto::room {
namespace {

using std::chrono::milliseconds;
using testing::Child;

constexpr const char* kWorkspace = "0b6c1d2e-7f80-4a91-b2c3-d4e5f6a7b8c9";

class LaunchAgent : public testing::BrokerRoom {
 protected:
  void SetUp() override {
    BrokerRoom::SetUp();
    start_broker();
  }
  std::vector<std::string> launch_argv(std::vector<std::string> agent_args) {
    std::vector<std::string> argv = {PELTO_ROOM_BIN, "launch",      "--socket", socket_, "--agent",
                                     PELTO_AGENT_BIN, "--",         "--workspace", kWorkspace, "--no-model"};
    argv.insert(argv.end(), agent_args.begin(), agent_args.end());
    return argv;
  }
};

TEST_F(LaunchAgent, AgentJoinsThroughTheInheritedSocketAndTakesTheDocument) {
  std::string seed = (dir_ / "seed.md").string();
  std::ofstream(seed) << "# Notes\n\n- one\n- two\n";
  Child& serve = start({PELTO_ROOM_BIN, "serve", "--socket", socket_, "--workspace", kWorkspace, "--seed", seed});
  ASSERT_TRUE(serve.wait_for_out("document: 3 blocks\n")) << serve.err();

  Child& agent = start(launch_argv({"--await-document-ms", "0"}));
  ASSERT_TRUE(agent.wait_for_err("joined the room; waiting for the document")) << agent.err();
  EXPECT_NE(agent.err().find("transport=PELTO_SVC_COLLAB_FD"), std::string::npos) << agent.err();
  EXPECT_TRUE(agent.wait_for_err("received the document")) << agent.err();
  EXPECT_TRUE(serve.wait_for_err("served the document")) << serve.err();
  // The launcher passes the stop on and ends as the agent did.
  EXPECT_EQ(agent.stop(), 128 + SIGTERM) << agent.err();
}

TEST_F(LaunchAgent, EndsWithTheAgentsFailure) {
  auto r = run_capture(launch_argv({"--await-document-ms", "1000"}), env_);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->status, 1) << r->err;
  EXPECT_NE(r->err.find("Error: no participant answered with a document in 1s"), std::string::npos) << r->err;
}

}  // namespace
}  // namespace pelto::room
