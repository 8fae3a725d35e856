// The agent's connection over a real broker process and real sockets.
#include "apps/agent/wire/connection.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdlib>

#include "interfaces/collab/route.h"
#include "tools/broker/tests/broker_process.h"

namespace pelto::agent::wire {
namespace {

using namespace collab;
using pelto::testing::BrokerProcess;
using pelto::testing::Scripted;

const RoomId kRoom{0x4f, 0x1c, 0x01};
const std::string kWp = "so.pelto.word-processor";

ConnectSettings settings(std::optional<std::string> endpoint, std::string name = "Vesk") {
  return ConnectSettings{kWp, std::move(name), std::move(endpoint), std::nullopt, kRoom};
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(Open, FailuresCarryTheirContexts) {
  ::unsetenv(kCollabFdVariable);
  struct Case {
    ConnectSettings settings;
    std::vector<std::string> says;
  };
  const Case cases[] = {
      {settings("/tmp/any.sock", ""), {kNeedsId}},
      {settings(std::nullopt, ""), {kNeedsId}},
      {settings("/path/that/does/not/exist"), {kTypedContext, "/path/that/does/not/exist", "No such file or directory"}},
      {settings(std::nullopt), {kInheritedContext, "PELTO_SVC_COLLAB_FD is not set"}},
  };
  for (const auto& c : cases) {
    auto r = RoomConnection::open(c.settings);
    ASSERT_FALSE(r.has_value());
    for (const auto& part : c.says) EXPECT_TRUE(contains(r.error().display(), part)) << r.error().display();
  }
}

// A broker with the document's application in the room.
class AgentInRoom : public ::testing::Test {
 protected:
  void SetUp() override {
    auto a = Scripted::connect(broker_.socket_path(), Route{kWp, kRoom, std::nullopt}, Role::application, "wp");
    ASSERT_TRUE(a.has_value());
    app_.emplace(std::move(*a));
    ASSERT_TRUE(broker_.log_shows("id=wp room="));
    auto c = RoomConnection::open(settings(broker_.socket_path()));
    ASSERT_TRUE(c.has_value()) << c.error().display();
    agent_.emplace(std::move(*c));
    ASSERT_TRUE(agent_->join().has_value());
    ASSERT_TRUE(broker_.log_shows("id=Vesk room="));
  }
  // Sends markers "1".."n" from the application and waits until they sit in the agent's socket.
  void send_markers(int n) {
    for (int i = 1; i <= n; ++i) ASSERT_TRUE(app_->manager.send(PresenceAnnounce{std::to_string(i)}).has_value());
    ASSERT_TRUE(app_->manager.flush(std::chrono::seconds(10)).has_value());
  }
  static std::string marker(const CollabEvent& e) {
    auto* a = e.get<PresenceAnnounce>();
    return a ? a->room_text : "";
  }
  // The next event within the patience, or a failure.
  CollabEvent next() {
    auto e = agent_->next_event(pelto::testing::kPatience);
    EXPECT_TRUE(e.has_value() && e->has_value());
    return e && *e ? std::move(**e) : CollabEvent{};
  }

  BrokerProcess broker_{PELTO_BROKER_BIN};
  std::optional<Scripted> app_;
  std::optional<RoomConnection> agent_;
};

TEST_F(AgentInRoom, JoinAsksForTheDocumentThenAnnouncesTheRoomText) {
  EXPECT_EQ(agent_->transport(), Transport::typed_endpoint);
  auto request = app_->wait_for_kind<PresenceAnnounce>();
  ASSERT_TRUE(request);
  ASSERT_EQ(app_->seen.size(), 2u);
  EXPECT_NE(app_->seen[0].get<DocumentRequest>(), nullptr);
  EXPECT_EQ(marker(app_->seen[1]), room_text(kRoom));
  EXPECT_EQ(app_->seen[1].sender->connection_id, "Vesk");
}

TEST_F(AgentInRoom, ZeroTimeoutPollsOnceAndReturnsNothingWhenNothingIsPending) {
  auto none = agent_->next_event(std::chrono::nanoseconds(0));
  ASSERT_TRUE(none.has_value());
  EXPECT_FALSE(none->has_value());
  send_markers(1);
  // Once the broker has relayed it, a zero timeout still reads it: it polls before it gives up.
  std::optional<CollabEvent> got;
  auto deadline = std::chrono::steady_clock::now() + pelto::testing::kPatience;
  while (!got && std::chrono::steady_clock::now() < deadline) {
    auto e = agent_->next_event(std::chrono::nanoseconds(0));
    ASSERT_TRUE(e.has_value());
    got = std::move(*e);
  }
  ASSERT_TRUE(got);
  EXPECT_EQ(marker(*got), "1");
}

TEST_F(AgentInRoom, EventsPutBackComeFirstAndInOrder) {
  send_markers(4);
  CollabEvent one = next(), two = next();
  ASSERT_EQ(marker(one), "1");
  ASSERT_EQ(marker(two), "2");
  agent_->put_back({std::move(one), std::move(two)});
  std::vector<std::string> order;
  for (int i = 0; i < 4; ++i) order.push_back(marker(next()));
  EXPECT_EQ(order, (std::vector<std::string>{"1", "2", "3", "4"}));
}

TEST_F(AgentInRoom, MutationOfReadsTheBytesOrReportsTheLostMutation) {
  ASSERT_TRUE(app_->manager.send(DocumentMutationMessage{}).has_value());
  ASSERT_TRUE(app_->manager.send(DocumentMutationMessage{DocumentMutation{DocumentMutation::Kind::change, {4, 2}}}).has_value());
  auto lost = mutation_of(next());
  ASSERT_FALSE(lost.has_value());
  EXPECT_EQ(lost.error().message(), kLostMutation);
  auto change = mutation_of(next());
  ASSERT_TRUE(change.has_value()) << change.error().display();
  EXPECT_EQ(change->bytes, (Bytes{4, 2}));
}

TEST_F(AgentInRoom, SendToRouteAnswersTheRequester) {
  Route chat{"so.pelto.chat", kRoom, "chat:1"};
  auto c = Scripted::connect(broker_.socket_path(), chat, Role::application, "chat");
  ASSERT_TRUE(c.has_value());
  ASSERT_TRUE(broker_.log_shows("id=chat room="));
  agent_->send_to_route(chat, DocumentMutationMessage{DocumentMutation{DocumentMutation::Kind::snapshot, {1}}});
  EXPECT_TRUE(c->wait_for_kind<DocumentMutationMessage>());
}

TEST_F(AgentInRoom, BrokerGoneIsAnErrorOfTheNextWait) {
  ::kill(broker_.pid(), SIGKILL);
  Result<std::optional<CollabEvent>> e = std::optional<CollabEvent>{};
  auto deadline = std::chrono::steady_clock::now() + pelto::testing::kPatience;
  while (e && std::chrono::steady_clock::now() < deadline) {
    e = agent_->next_event(std::chrono::milliseconds(20));
    if (e && *e) continue;  // what the broker sent before it went
  }
  ASSERT_FALSE(e.has_value());
  EXPECT_TRUE(contains(e.error().display(), "closed the connection")) << e.error().display();
}

TEST(Inherited, OpensTheDescriptorTheLauncherHandedDown) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  BrokerProcess broker(PELTO_BROKER_BIN, {pair[1]});
  ::close(pair[1]);
  auto app = Scripted::connect(broker.socket_path(), Route{kWp, kRoom, std::nullopt}, Role::application, "wp");
  ASSERT_TRUE(app.has_value());
  ASSERT_TRUE(broker.log_shows("id=wp room="));
  ::setenv(kCollabFdVariable, std::to_string(pair[0]).c_str(), 1);
  auto agent = RoomConnection::open(settings(std::nullopt));
  ::unsetenv(kCollabFdVariable);
  ASSERT_TRUE(agent.has_value()) << agent.error().display();
  EXPECT_EQ(agent->transport(), Transport::inherited);
  EXPECT_STREQ(transport_name(agent->transport()), "PELTO_SVC_COLLAB_FD");
  ASSERT_TRUE(agent->join().has_value());
  EXPECT_TRUE(app->wait_for_kind<DocumentRequest>()) << app->failure;
}

}  // namespace
}  // namespace pelto::agent::wire
