// The agent as a process in a real room: a pelto-broker, a pelto-room serving the document, and the
// agent over a socket path or an inherited descriptor.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "interfaces/base/subprocess.h"
#include "interfaces/collab/route.h"
#include "interfaces/crdt/document.h"
#include "tools/broker/tests/broker_process.h"
#include "tools/room/tests/child.h"

namespace pelto::agent {
namespace {

using pelto::room::testing::Child;
using pelto::testing::BrokerProcess;
using pelto::testing::Scripted;
using namespace std::chrono_literals;

constexpr const char* kRoom = "3f1c2b4a-9d8e-4f70-8a6b-5c4d3e2f1a0b";

class AgentInRoom : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/pelto-e2e-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    std::filesystem::create_directories(dir_ + "/config");
    std::ofstream(dir_ + "/brief.md") << "# Brief\n\nThe first paragraph.\n";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Without a provider file unless a test writes one.
  std::vector<std::string> env(std::vector<std::string> more = {}) {
    more.push_back("XDG_CONFIG_HOME=" + dir_ + "/config");
    more.push_back("SPDLOG_LEVEL=debug");
    more.push_back("PELTO_SVC_COLLAB_FD=");
    return more;
  }
  Child serve() {
    auto c = Child::start({PELTO_ROOM_BIN, "serve", "--socket", broker_.socket_path(), "--workspace", kRoom,
                           "--seed", dir_ + "/brief.md"});
    EXPECT_TRUE(c) << c.error().display();
    EXPECT_TRUE(c->wait_for_out("The first paragraph.")) << c->out() << c->err();
    return std::move(*c);
  }
  Child agent(std::vector<std::string> args, std::vector<std::string> extra_env = {}) {
    args.insert(args.begin(), PELTO_AGENT_BIN);
    auto c = Child::start(args, env(std::move(extra_env)));
    EXPECT_TRUE(c) << c.error().display();
    return std::move(*c);
  }

  std::string dir_;
  BrokerProcess broker_{PELTO_BROKER_BIN};
};

TEST_F(AgentInRoom, OverASocketPathReceivesTheDocumentAndFollowsAPersonsTyping) {
  Child served = serve();
  Child a = agent({"--workspace", kRoom, "--endpoint", broker_.socket_path(), "--no-model",
                   "--await-document-ms", "0"});
  ASSERT_TRUE(a.wait_for_err("joined the room; waiting for the document transport=typed-endpoint "
                             "app=so.pelto.word-processor room=" + std::string(kRoom) + " name=Vesk"))
      << a.err();
  ASSERT_TRUE(a.wait_for_err("no model available; the keyword vocabulary chooses live=false timeout_ms=9000"))
      << a.err();
  ASSERT_TRUE(a.wait_for_err("received the document bytes=")) << a.err();

  auto wrote = run_capture({PELTO_ROOM_BIN, "write", "--socket", broker_.socket_path(), "--workspace", kRoom,
                            "--per-character", "Vesk: turn the bullets into a table"});
  ASSERT_TRUE(wrote);
  EXPECT_EQ(wrote->status, 0) << wrote->err;
  EXPECT_TRUE(a.wait_for_err("asked=\"turn the bullets into a table\"")) << a.err();

  // A second application's document joins the room as another replica.
  auto chat = Scripted::connect(broker_.socket_path(),
                                collab::Route{"so.pelto.chat", *collab::parse_room(kRoom), std::nullopt},
                                collab::Role::application, "chat");
  ASSERT_TRUE(chat);
  crdt::Document chat_doc(crdt::ActorId::from_string("chat"));
  ASSERT_TRUE(chat_doc.put(crdt::ObjId::root(), "seeded", true));
  ASSERT_TRUE(chat->manager.send(collab::DocumentMutationMessage{
      collab::DocumentMutation{collab::DocumentMutation::Kind::snapshot, chat_doc.save()}}));
  ASSERT_TRUE(chat->manager.flush(5s));
  EXPECT_TRUE(a.wait_for_err("a second application's document joined the room app=so.pelto.chat")) << a.err();
  EXPECT_TRUE(served.wait_for_out("Vesk: turn the bullets into a table"));
}

TEST_F(AgentInRoom, ThroughAnInheritedDescriptor) {
  Child served = serve();
  auto launched = Child::start({PELTO_ROOM_BIN, "launch", "--socket", broker_.socket_path(), "--agent",
                                PELTO_AGENT_BIN, "--", "--workspace", kRoom, "--no-model"},
                               env());
  ASSERT_TRUE(launched);
  EXPECT_TRUE(launched->wait_for_err("joined the room; waiting for the document transport=PELTO_SVC_COLLAB_FD"))
      << launched->err();
  EXPECT_TRUE(launched->wait_for_err("received the document")) << launched->err();
}

TEST_F(AgentInRoom, ALiveProfileLetsAModelChooseAndNobodyAnsweringEndsTheWait) {
  std::filesystem::create_directories(dir_ + "/config/pelto");
  std::ofstream(dir_ + "/config/pelto/providers.json") << R"({
    "active_profile": "main",
    "profiles": [{"id": "main", "protocol": "messages", "base_url": "https://models.example.com",
                  "api_key_env": "PELTO_E2E_KEY", "models": ["planner-1"], "selected_model": "planner-1"}]})";
  Child a = agent({"--workspace", kRoom, "--endpoint", broker_.socket_path(), "--await-document-ms", "400"},
                  {"PELTO_E2E_KEY=secret"});
  EXPECT_TRUE(a.wait_for_err("a model chooses from the app's exported actions live=true model=planner-1")) << a.err();
  auto status = a.wait(10s);
  ASSERT_TRUE(status);
  EXPECT_EQ(*status, 1);
  a.wait_for_err("untitled document)");
  EXPECT_NE(a.err().find("Error: no participant answered with a document in 0s."), std::string::npos) << a.err();

  // The same file with --no-model: the keyword vocabulary chooses.
  Child b = agent({"--workspace", kRoom, "--endpoint", broker_.socket_path(), "--await-document-ms", "100",
                   "--no-model"},
                  {"PELTO_E2E_KEY=secret"});
  EXPECT_TRUE(b.wait_for_err("no model available; the keyword vocabulary chooses live=false model=planner-1"))
      << b.err();
}

TEST(AgentStart, ConnectionFailuresExitOneWithTheirContext) {
  struct Case {
    std::vector<std::string> args;
    std::vector<const char*> says;
  } cases[] = {
      {{"--endpoint", "/path/that/does/not/exist"},
       {"Error: ", "start typed collaboration client", "/path/that/does/not/exist", "No such file"}},
      {{}, {"Error: ", "connect through PELTO_SVC_COLLAB_FD"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv = {PELTO_AGENT_BIN, "--workspace", kRoom};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    auto r = run_capture(argv, {"PELTO_SVC_COLLAB_FD="});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 1) << r->err;
    EXPECT_TRUE(r->err.starts_with("Error: ")) << r->err;
    for (const char* part : c.says) EXPECT_NE(r->err.find(part), std::string::npos) << part << " in " << r->err;
  }
}

}  // namespace
}  // namespace pelto::agent
