// pelto-room launch with the real agent: the agent joins through the socket it inherited, takes the
// served document, and its exit status is the launcher's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <deque>
#include <filesystem>
#include <fstream>

#include "interfaces/base/subprocess.h"
#include "tools/room/tests/child.h"

namespace pelto::room {
namespace {

using std::chrono::milliseconds;
using testing::Child;
namespace fs = std::filesystem;

constexpr const char* kWorkspace = "0b6c1d2e-7f80-4a91-b2c3-d4e5f6a7b8c9";

class LaunchAgent : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "pelto-launch-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    socket_ = (dir_ / "broker.sock").string();
    // No provider configuration: the agent plans with its keywords.
    env_ = {"XDG_DATA_HOME=" + (dir_ / "data").string(), "XDG_CONFIG_HOME=" + (dir_ / "config").string(),
            "SPDLOG_LEVEL=info"};
    auto b = Child::start({PELTO_BROKER_BIN, "--socket", socket_}, env_);
    ASSERT_TRUE(b.has_value()) << b.error().display();
    broker_.emplace(std::move(*b));
    ASSERT_TRUE(broker_->wait_for_err("listening for participants")) << broker_->err();
  }
  void TearDown() override {
    children_.clear();
    broker_.reset();
    fs::remove_all(dir_);
  }

  Child& start(std::vector<std::string> argv) {
    auto c = Child::start(argv, env_);
    EXPECT_TRUE(c.has_value()) << c.error().display();
    children_.push_back(std::move(*c));
    return children_.back();
  }
  std::vector<std::string> launch_argv(std::vector<std::string> agent_args) {
    std::vector<std::string> argv = {PELTO_ROOM_BIN, "launch",      "--socket", socket_, "--agent",
                                     PELTO_AGENT_BIN, "--",         "--workspace", kWorkspace, "--no-model"};
    argv.insert(argv.end(), agent_args.begin(), agent_args.end());
    return argv;
  }

  fs::path dir_;
  std::string socket_;
  std::vector<std::string> env_;
  std::optional<Child> broker_;
  std::deque<Child> children_;
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
