#include "interfaces/collab/manager.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fcntl.h>

#include "interfaces/collab/codec.h"

namespace pelto::collab {
namespace {

Route agent_route() { return Route{"so.pelto.word-processor", RoomId{1, 2, 3}, std::nullopt}; }

// A manager on one end of a socket pair; the test plays the broker on the other end with raw bytes.
class ManagerOverPair : public ::testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    peer_ = UniqueFd(fds[1]);
    auto m = CollaborationManager::for_route_from(agent_route(), Role::agent, "Vesk",
                                                  ConnectedSocket{UniqueFd(fds[0])});
    ASSERT_TRUE(m.has_value()) << m.error().display();
    manager_.emplace(std::move(*m));
  }

  void write_raw(const Bytes& bytes) {
    ASSERT_EQ(::write(peer_.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  Bytes frame(Body body, std::optional<Sender> sender = std::nullopt) {
    auto f = encode(Envelope{ToRoom{}, std::move(sender), std::move(body)});
    EXPECT_TRUE(f.has_value());
    return f.value_or(Bytes{});
  }
  // What the manager wrote, decoded, read until `count` envelopes came.
  std::vector<Envelope> read_peer(size_t count) {
    FrameReader reader;
    std::vector<Envelope> out;
    while (out.size() < count) {
      pollfd p{peer_.get(), POLLIN, 0};
      if (::poll(&p, 1, 10000) <= 0) break;
      auto room = reader.prepare(4096);
      ssize_t n = ::read(peer_.get(), room.data(), room.size());
      if (n <= 0) break;
      reader.commit(static_cast<size_t>(n));
      while (auto f = reader.next()) {
        if (!*f) break;
        auto e = decode(**f);
        if (e) out.push_back(std::move(*e));
      }
    }
    return out;
  }

  UniqueFd peer_;
  std::optional<CollaborationManager> manager_;
};

TEST_F(ManagerOverPair, GreetsJoinsAndAddressesTheRoomOrARoute) {
  ASSERT_TRUE(manager_->join_route(RoomId{9}).has_value());
  ASSERT_TRUE(manager_->send(DocumentRequest{}).has_value());
  Route other{"so.pelto.chat", RoomId{9}, "chat:1"};
  ASSERT_TRUE(manager_->send_to_route(other, PresenceAnnounce{"x"}).has_value());
  auto got = read_peer(4);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].body, Body(Hello{Role::agent, "Vesk", agent_route(), std::nullopt}));
  EXPECT_EQ(got[1].body, Body(Join{RoomId{9}}));
  EXPECT_EQ(got[2].body, Body(DocumentRequest{}));
  EXPECT_EQ(got[2].target, Target(ToRoom{}));
  EXPECT_EQ(got[3].target, Target(other));
  EXPECT_EQ(manager_->route().room, RoomId{9});
}

TEST_F(ManagerOverPair, PollWithNothingSentReturnsNoEvents) {
  auto events = manager_->poll();
  ASSERT_TRUE(events.has_value()) << events.error().display();
  EXPECT_TRUE(events->empty());
}

TEST_F(ManagerOverPair, FrameSplitAcrossReadsDecodesOnceWholeAndEventsKeepTheirOrder) {
  Bytes first = frame(DocumentMutationMessage{DocumentMutation{DocumentMutation::Kind::change, Bytes{1, 2}}});
  Bytes second = frame(PresenceAnnounce{"room"});
  write_raw(Bytes(first.begin(), first.begin() + 5));
  auto none = manager_->poll();
  ASSERT_TRUE(none.has_value());
  EXPECT_TRUE(none->empty());
  Bytes rest(first.begin() + 5, first.end());
  rest.insert(rest.end(), second.begin(), second.end());
  write_raw(rest);
  auto events = manager_->poll();
  ASSERT_TRUE(events.has_value()) << events.error().display();
  ASSERT_EQ(events->size(), 2u);
  auto m = (*events)[0].document_mutation();
  ASSERT_TRUE(m.has_value() && m->has_value());
  EXPECT_EQ((*m)->bytes, (Bytes{1, 2}));
  EXPECT_NE((*events)[1].get<PresenceAnnounce>(), nullptr);
}

TEST_F(ManagerOverPair, DocumentMutationReadsSnapshotChangeOrNothing) {
  write_raw(frame(DocumentMutationMessage{}));
  write_raw(frame(DocumentMutationMessage{DocumentMutation{DocumentMutation::Kind::snapshot, Bytes{}}}));
  write_raw(frame(CatalogueRequest{}));
  auto events = manager_->poll();
  ASSERT_TRUE(events.has_value());
  ASSERT_EQ(events->size(), 3u);
  auto lost = (*events)[0].document_mutation();
  ASSERT_TRUE(lost.has_value());
  EXPECT_FALSE(lost->has_value());  // the caller reports the lost mutation
  EXPECT_FALSE((*events)[1].document_mutation().has_value());
  EXPECT_FALSE((*events)[2].is_document_mutation());
}

struct EndCase {
  const char* name;
  Bytes bytes;
  const char* says;
};

TEST_F(ManagerOverPair, OversizeGarbageAndCloseEndTheConnectionAfterWhatCameBefore) {
  // Each case runs on a fresh pair.
  const EndCase cases[] = {
      {"over the limit", Bytes{0, 0, 0, 0, 0, 0, 0, 4 /* 4 * 2^24 words = 512 MiB */}, "256 MiB"},
      {"garbage", Bytes{0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0xff, 0xff, 0, 0, 0, 0, 0, 0},
       "does not decode"},
      {"closed", Bytes{}, "closed"},
  };
  for (const auto& c : cases) {
    SetUp();
    write_raw(frame(PresenceAnnounce{"before"}));
    if (c.bytes.empty()) {
      peer_.reset();
    } else {
      write_raw(c.bytes);
    }
    auto first = manager_->poll();
    ASSERT_TRUE(first.has_value()) << c.name << ": " << first.error().display();
    ASSERT_EQ(first->size(), 1u) << c.name;
    for (int i = 0; i < 2; ++i) {  // the failure stays
      auto next = manager_->poll();
      ASSERT_FALSE(next.has_value()) << c.name;
      EXPECT_NE(next.error().display().find(c.says), std::string::npos) << c.name << ": " << next.error().display();
    }
    EXPECT_FALSE(manager_->send(DocumentRequest{}).has_value()) << c.name;
  }
}

TEST(ManagerTransport, InheritedEndpointNeedsAnOpenSocketInTheVariable) {
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  UniqueFd keep(fds[1]);
  int file = ::open("/dev/null", O_RDONLY);
  struct Case {
    std::optional<std::string> value;
    bool ok;
    const char* says;
  };
  const Case cases[] = {
      {std::nullopt, false, "PELTO_SVC_COLLAB_FD is not set"},
      {"seven", false, "does not hold a descriptor number"},
      {"-1", false, "does not hold a descriptor number"},
      {"999", false, "not open"},
      {std::to_string(file), false, "not a socket"},
      {std::to_string(fds[0]), true, ""},
  };
  for (const auto& c : cases) {
    if (c.value) {
      ::setenv(kCollabFdVariable, c.value->c_str(), 1);
    } else {
      ::unsetenv(kCollabFdVariable);
    }
    auto m = CollaborationManager::for_route_from(agent_route(), Role::agent, "Vesk", InheritedEndpoint{});
    EXPECT_EQ(m.has_value(), c.ok) << c.value.value_or("(unset)");
    if (!m) {
      EXPECT_NE(m.error().display().find(c.says), std::string::npos) << m.error().display();
    }
  }
  ::unsetenv(kCollabFdVariable);
  ::close(file);
}

TEST(ManagerTransport, ConnectToAMissingPathNamesThePathAndTheReason) {
  auto fd = connect_unix("/path/that/does/not/exist");
  ASSERT_FALSE(fd.has_value());
  EXPECT_NE(fd.error().message().find("/path/that/does/not/exist"), std::string::npos);
  EXPECT_NE(fd.error().message().find("No such file"), std::string::npos);
}

}  // namespace
}  // namespace pelto::collab
