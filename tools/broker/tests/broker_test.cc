// The broker as a real process over real sockets, with scripted participants over the real client.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include "interfaces/collab/codec.h"
#include "tools/broker/tests/broker_process.h"

namespace pelto {
namespace {

using namespace collab;
using testing::BrokerProcess;
using testing::Scripted;

const RoomId kRoom{0x11, 0x22};
const RoomId kOtherRoom{0x99};
const std::string kWp = "so.pelto.word-processor";

Route wp(std::optional<std::string> record = std::nullopt, RoomId room = kRoom) { return Route{kWp, room, std::move(record)}; }

DocumentMutationMessage snapshot(Bytes bytes) {
  return DocumentMutationMessage{DocumentMutation{DocumentMutation::Kind::snapshot, std::move(bytes)}};
}

Scripted join(const BrokerProcess& broker, Route route, Role role, std::string id) {
  auto p = Scripted::connect(broker.socket_path(), std::move(route), role, std::move(id));
  EXPECT_TRUE(p.has_value()) << (p ? "" : p.error().display());
  // Joins on different connections are not ordered against each other; wait until this one counts.
  EXPECT_TRUE(broker.log_shows(fmt::format("id={} room=", p->manager.connection_id()))) << broker.log();
  return std::move(*p);
}

// A marker message from `from` that every other member of the room receives: whatever `from` sent
// before it has been routed by the time the marker arrives.
void mark(Scripted& from, const std::string& text) { ASSERT_TRUE(from.manager.send(PresenceAnnounce{text}).has_value()); }
bool saw_marker(Scripted& p, const std::string& text) {
  return p.wait_for([&](const CollabEvent& e) {
    auto* a = e.get<PresenceAnnounce>();
    return a && a->room_text == text;
  }).has_value();
}

class Room : public ::testing::Test {
 protected:
  Room()
      : broker_(PELTO_BROKER_BIN),
        agent_(join(broker_, wp(), Role::agent, "Vesk")),
        app_(join(broker_, wp(), Role::application, "wp-untitled")),
        filed_(join(broker_, wp("file:/notes.md"), Role::application, "wp-notes")),
        chat_(join(broker_, Route{"so.pelto.chat", kRoom, std::nullopt}, Role::application, "chat")),
        elsewhere_(join(broker_, wp(std::nullopt, kOtherRoom), Role::application, "elsewhere")) {}

  std::vector<Scripted*> everyone() { return {&agent_, &app_, &filed_, &chat_, &elsewhere_}; }

  BrokerProcess broker_;
  Scripted agent_, app_, filed_, chat_, elsewhere_;
};

TEST_F(Room, DocumentRequestGoesOnlyToTheParticipantsOfTheSameRoute) {
  ASSERT_TRUE(agent_.manager.send(DocumentRequest{}).has_value());
  mark(agent_, "after the request");
  // elsewhere_ is in another room and sees nothing of this room, so it is checked last by a marker of its own.
  for (Scripted* p : {&app_, &filed_, &chat_}) ASSERT_TRUE(saw_marker(*p, "after the request"));
  ASSERT_EQ(app_.count<DocumentRequest>(), 1u);
  auto* req = app_.first<DocumentRequest>();
  ASSERT_TRUE(req && req->sender);
  EXPECT_EQ(req->sender->connection_id, "Vesk");
  EXPECT_EQ(req->sender->route, wp());
  EXPECT_EQ(filed_.count<DocumentRequest>(), 0u);  // same app and room, other record
  EXPECT_EQ(chat_.count<DocumentRequest>(), 0u);

  // A request for a route nobody serves is dropped; the asker is not disturbed.
  auto lonely = join(broker_, wp("file:/nobody.md"), Role::agent, "Lonely");
  ASSERT_TRUE(lonely.manager.send(DocumentRequest{}).has_value());
  mark(lonely, "after the lonely request");
  ASSERT_TRUE(saw_marker(app_, "after the lonely request"));
  ASSERT_TRUE(saw_marker(filed_, "after the lonely request"));
  EXPECT_EQ(app_.count<DocumentRequest>(), 1u);
  EXPECT_EQ(filed_.count<DocumentRequest>(), 0u);
  mark(app_, "still here");
  EXPECT_TRUE(saw_marker(lonely, "still here")) << lonely.failure;

  mark(elsewhere_, "other room");
  auto neighbour = join(broker_, wp(std::nullopt, kOtherRoom), Role::person, "neighbour");
  mark(elsewhere_, "other room, later");
  ASSERT_TRUE(saw_marker(neighbour, "other room, later"));
  EXPECT_EQ(elsewhere_.count<DocumentRequest>(), 0u);
  EXPECT_EQ(elsewhere_.count<PresenceAnnounce>(), 0u);
}

TEST_F(Room, MutationsReachTheRoomsOtherParticipantsTaggedWithTheSendersRoute) {
  ASSERT_TRUE(filed_.manager.send(snapshot({1, 2, 3})).has_value());
  for (Scripted* p : {&agent_, &app_, &chat_}) {
    auto e = p->wait_for_kind<DocumentMutationMessage>();
    ASSERT_TRUE(e && e->sender) << p->manager.connection_id();
    EXPECT_EQ(e->sender->route, wp("file:/notes.md"));
    auto m = e->document_mutation();
    ASSERT_TRUE(m && *m);
    EXPECT_EQ((*m)->kind, DocumentMutation::Kind::snapshot);
    EXPECT_EQ((*m)->bytes, (Bytes{1, 2, 3}));
  }
  mark(agent_, "after");
  ASSERT_TRUE(saw_marker(filed_, "after"));
  EXPECT_EQ(filed_.count<DocumentMutationMessage>(), 0u);  // not echoed to the sender
}

TEST_F(Room, SnapshotCarryingA64MiBImageArrivesWhole) {
  Bytes big(size_t{64} << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
  ASSERT_TRUE(app_.manager.send(snapshot(big)).has_value());
  ASSERT_TRUE(app_.manager.flush(std::chrono::seconds(60)).has_value());
  auto e = agent_.wait_for_kind<DocumentMutationMessage>();
  ASSERT_TRUE(e) << agent_.failure;
  auto m = e->document_mutation();
  ASSERT_TRUE(m && *m);
  EXPECT_TRUE((*m)->bytes == big);
}

TEST_F(Room, SendToRouteReachesOnlyThatRoute) {
  ASSERT_TRUE(app_.manager.send_to_route(wp("file:/notes.md"), snapshot({7})).has_value());
  mark(app_, "after");
  for (Scripted* p : {&agent_, &chat_, &filed_}) ASSERT_TRUE(saw_marker(*p, "after"));
  EXPECT_EQ(filed_.count<DocumentMutationMessage>(), 1u);
  EXPECT_EQ(agent_.count<DocumentMutationMessage>(), 0u);
  EXPECT_EQ(chat_.count<DocumentMutationMessage>(), 0u);
}

TEST_F(Room, ParticipantsRequestsAndPresenceReachTheRoom) {
  ASSERT_TRUE(chat_.manager.send(DocumentWanted{kWp, std::nullopt}).has_value());
  ASSERT_TRUE(agent_.manager.send(CaretPosition{"Vesk", "b1", 4}).has_value());
  auto wanted = agent_.wait_for_kind<DocumentWanted>();
  ASSERT_TRUE(wanted && wanted->sender);
  EXPECT_EQ(wanted->sender->route.app, "so.pelto.chat");
  auto caret = app_.wait_for_kind<CaretPosition>();
  ASSERT_TRUE(caret);
  EXPECT_EQ(*caret->get<CaretPosition>(), (CaretPosition{"Vesk", "b1", 4}));
}

TEST_F(Room, CatalogueHoldsWhatTheOtherParticipantsPublishedWithTheirRoom) {
  CatalogueEntry rename{"", "so.pelto.photos", "photos.album", "rename", R"({"label":"Rename"})"};
  ASSERT_TRUE(chat_.manager.send(CataloguePublish{{rename}}).has_value());
  mark(chat_, "published");
  ASSERT_TRUE(saw_marker(agent_, "published"));
  ASSERT_TRUE(agent_.manager.send(CatalogueRequest{}).has_value());
  auto reply = agent_.wait_for_kind<CatalogueReply>();
  ASSERT_TRUE(reply);
  EXPECT_FALSE(reply->sender);  // the broker's own answer
  auto* entries = std::get_if<std::vector<CatalogueEntry>>(&reply->get<CatalogueReply>()->answer);
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 1u);
  rename.provider_room = "1";  // the first room anyone joined
  EXPECT_EQ((*entries)[0], rename);

  // An action on it goes to the publisher; its answers come back to the requester.
  ASSERT_TRUE(agent_.manager.send(ActionRequest{"inv-1", "1", "photos.album", "rename", "{}", "{}"}).has_value());
  ASSERT_TRUE(chat_.wait_for_kind<ActionRequest>());
  ASSERT_TRUE(chat_.manager.send(Admission{"inv-1", std::nullopt}).has_value());
  ASSERT_TRUE(agent_.wait_for_kind<Admission>());
  ASSERT_TRUE(agent_.manager.send(StatusQuery{"inv-1"}).has_value());
  ASSERT_TRUE(chat_.wait_for_kind<StatusQuery>());
  ASSERT_TRUE(chat_.manager.send(ActionStatus{"inv-1", ActionState::completed, "{}", ""}).has_value());
  auto status = agent_.wait_for_kind<ActionStatus>();
  ASSERT_TRUE(status);
  EXPECT_EQ(status->get<ActionStatus>()->state, ActionState::completed);

  // Nobody publishes this one; nobody knows that invocation.
  ASSERT_TRUE(agent_.manager.send(ActionRequest{"inv-2", "1", "photos.album", "delete", "{}", "{}"}).has_value());
  auto refused = agent_.wait_for([](const CollabEvent& e) {
    auto* a = e.get<Admission>();
    return a && a->invocation == "inv-2";
  });
  ASSERT_TRUE(refused);
  EXPECT_TRUE(refused->get<Admission>()->refused.has_value());
  ASSERT_TRUE(agent_.manager.send(StatusQuery{"inv-9"}).has_value());
  auto unknown = agent_.wait_for([](const CollabEvent& e) {
    auto* s = e.get<ActionStatus>();
    return s && s->invocation == "inv-9";
  });
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->get<ActionStatus>()->state, ActionState::unknown);
}

TEST(Broker, CatalogueBeforeJoiningIsRefused) {
  BrokerProcess broker(PELTO_BROKER_BIN);
  auto p = Scripted::connect(broker.socket_path(), wp(), Role::agent, "Vesk", /*join=*/false);
  ASSERT_TRUE(p.has_value());
  ASSERT_TRUE(p->manager.send(CatalogueRequest{}).has_value());
  auto reply = p->wait_for_kind<CatalogueReply>();
  ASSERT_TRUE(reply);
  EXPECT_TRUE(std::holds_alternative<CatalogueRefusal>(reply->get<CatalogueReply>()->answer));
}

Bytes frame(const Body& body) { return encode(Envelope{ToRoom{}, std::nullopt, body}).value(); }

struct Misbehaviour {
  const char* name;
  bool hello_first;
  Bytes bytes;
  const char* logged;
};

TEST(Broker, MisbehavingParticipantIsDroppedAndTheOthersKeepTalking) {
  const Misbehaviour cases[] = {
      {"frame over the limit", true, Bytes{0, 0, 0, 0, 0, 0, 0, 4}, "256 MiB"},
      {"garbage frame", true, Bytes{0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0xff, 0xff, 0, 0, 0, 0, 0, 0},
       "does not decode"},
      {"speaks before its hello", false, frame(Join{kRoom}), "before its hello"},
      {"says hello twice", true, frame(Hello{Role::agent, "again", wp(), std::nullopt}), "said hello twice"},
  };
  BrokerProcess broker(PELTO_BROKER_BIN);
  auto agent = join(broker, wp(), Role::agent, "Vesk");
  auto app = join(broker, wp(), Role::application, "wp");
  int round = 0;
  for (const auto& c : cases) {
    auto fd = connect_unix(broker.socket_path());
    ASSERT_TRUE(fd.has_value());
    Bytes bytes;
    if (c.hello_first) {
      bytes = frame(Hello{Role::person, fmt::format("rogue-{}", round), wp(), std::nullopt});
      Bytes j = frame(Join{kRoom});
      bytes.insert(bytes.end(), j.begin(), j.end());
    }
    bytes.insert(bytes.end(), c.bytes.begin(), c.bytes.end());
    ASSERT_EQ(::send(fd->get(), bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    ASSERT_TRUE(broker.log_shows(c.logged)) << c.name << "\n" << broker.log();
    // The broker closes the rogue's socket.
    char byte;
    EXPECT_EQ(::recv(fd->get(), &byte, 1, 0), 0) << c.name;

    ASSERT_TRUE(agent.manager.send(snapshot({static_cast<uint8_t>(round)})).has_value());
    auto got = app.wait_for([&](const CollabEvent& e) {
      auto m = e.document_mutation();
      return m && *m && (*m)->bytes == Bytes{static_cast<uint8_t>(round)};
    });
    EXPECT_TRUE(got) << c.name << ": " << app.failure;
    ++round;
  }
  EXPECT_NE(broker.log().find("dropped a participant"), std::string::npos);
  EXPECT_NE(broker.log().find("participant connected"), std::string::npos);
}

TEST(Broker, ServesHandedDescriptorsAndCreatesItsSocketPrivate) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
  BrokerProcess broker(PELTO_BROKER_BIN, {pair[1]});
  ::close(pair[1]);
  struct stat st {};
  ASSERT_EQ(::stat(broker.socket_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  auto handed = CollaborationManager::for_route_from(wp(), Role::agent, "Vesk", ConnectedSocket{UniqueFd(pair[0])});
  ASSERT_TRUE(handed.has_value());
  ASSERT_TRUE(handed->join_route(kRoom).has_value());
  Scripted agent(std::move(*handed));
  ASSERT_TRUE(broker.log_shows("id=Vesk room="));
  auto app = join(broker, wp(), Role::application, "wp");
  ASSERT_TRUE(agent.manager.send(DocumentRequest{}).has_value());
  EXPECT_TRUE(app.wait_for_kind<DocumentRequest>()) << app.failure;
  ASSERT_TRUE(app.manager.send_to_route(wp(), snapshot({5})).has_value());
  EXPECT_TRUE(agent.wait_for_kind<DocumentMutationMessage>()) << agent.failure;
}

TEST(Broker, ParticipantLeavingIsLoggedAndNotAnError) {
  BrokerProcess broker(PELTO_BROKER_BIN);
  auto app = join(broker, wp(), Role::application, "wp");
  {
    auto agent = join(broker, wp(), Role::agent, "Vesk");
    ASSERT_TRUE(agent.manager.flush(std::chrono::seconds(10)).has_value());
    ASSERT_TRUE(broker.log_shows("id=Vesk"));
  }
  EXPECT_TRUE(broker.log_shows("participant left"));
  auto again = join(broker, wp(), Role::agent, "Vesk2");
  ASSERT_TRUE(again.manager.send(DocumentRequest{}).has_value());
  EXPECT_TRUE(app.wait_for_kind<DocumentRequest>());
}

}  // namespace
}  // namespace pelto
