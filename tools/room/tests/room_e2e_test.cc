// pelto-room against a real broker process over a real socket: a served document takes what
// writers type, answers the agent's request on its route, and leaves other documents alone; the
// launcher hands a connected socket down.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "interfaces/base/subprocess.h"
#include "interfaces/base/utf8.h"
#include "interfaces/collab/route.h"
#include "tools/room/participant.h"
#include "tools/room/served.h"
#include "tools/room/tests/child.h"
#include "tools/room/tests/room_fixture.h"

namespace pelto::room {
namespace {

using std::chrono::milliseconds;
using testing::Child;

constexpr const char* kWorkspace = "6a1f7c2e-3b4d-4e5f-8a9b-0c1d2e3f4a5b";
constexpr std::string_view kSeed = "# Plan\n\nKeep this paragraph.\n\n- first\n- second\n";
const std::string kSeedListing =
    "heading: Plan\nparagraph: Keep this paragraph.\nlist_item: first\nlist_item: second\n";

std::string listing_with(std::string_view paragraph) {
  return "document: 5 blocks\n" + kSeedListing + "paragraph: " + std::string(paragraph) + "\n";
}

class RoomProcesses : public testing::BrokerRoom {
 protected:
  void SetUp() override {
    BrokerRoom::SetUp();
    seed_ = (dir_ / "seed.md").string();
    std::ofstream(seed_) << kSeed;
  }

  // A served document, once it has printed its seed.
  Child& start_serve(std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {PELTO_ROOM_BIN, "serve", "--socket", socket_, "--workspace", kWorkspace,
                                     "--seed", seed_, "--print-changes"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    Child& serve = start(argv);
    EXPECT_TRUE(serve.wait_for_out("document: 4 blocks\n" + kSeedListing)) << serve.out() << serve.err();
    return serve;
  }

  ProcessOutput room(std::vector<std::string> args) {
    args.insert(args.begin(), PELTO_ROOM_BIN);
    auto r = run_capture(args, env_);
    EXPECT_TRUE(r.has_value());
    return r.value_or(ProcessOutput{});
  }

  ProcessOutput write(std::string text, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"write", "--socket", socket_, "--workspace", kWorkspace};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(std::move(text));
    return room(args);
  }

  RoomAddress address(std::optional<std::string> record = std::nullopt) {
    return RoomAddress{socket_, collab::Route{kDefaultApp, *collab::parse_room(kWorkspace), std::move(record)}};
  }

  std::string seed_;
};

TEST_F(RoomProcesses, ServedDocumentShowsTheWrittenParagraph) {
  struct Case {
    const char* text;
    bool per_character;
  };
  const std::vector<Case> cases = {
      {"Vesk: turn the bullets into a table", false},
      {"Vesk: pöytä ✓ 🙂 typed one key at a time", true},
  };
  start_broker();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    clear_children();
    Child& serve = start_serve();
    size_t from = serve.out().size();
    auto w = write(c.text, c.per_character ? std::vector<std::string>{"--per-character"} : std::vector<std::string>{});
    ASSERT_EQ(w.status, 0) << w.err;
    size_t changes = c.per_character ? utf8::length(c.text) : 1;
    EXPECT_EQ(w.out, fmt::format("sent {} change{}\n", changes, changes == 1 ? "" : "s"));
    ASSERT_TRUE(serve.wait_for_out(listing_with(c.text), milliseconds(10000), from)) << serve.out();
    // Every listing on the way showed a beginning of the paragraph, never a jumble.
    std::string rest = serve.out().substr(from);
    for (size_t at = rest.find("list_item: second\n"); at != std::string::npos;
         at = rest.find("list_item: second\n", at + 1)) {
      size_t start = at + std::string_view("list_item: second\n").size();
      size_t end = rest.find('\n', start);
      std::string line = rest.substr(start, end - start);
      ASSERT_TRUE(line.starts_with("paragraph: ")) << line;
      EXPECT_TRUE(std::string_view(c.text).starts_with(line.substr(11))) << line;
    }
  }
}

TEST_F(RoomProcesses, WritersInTurnAddTheirParagraphsInOrder) {
  start_broker();
  Child& serve = start_serve();
  for (const char* text : {"first writer", "second writer", "third writer"}) ASSERT_EQ(write(text).status, 0);
  EXPECT_TRUE(serve.wait_for_out("document: 7 blocks\n" + kSeedListing +
                                 "paragraph: first writer\nparagraph: second writer\nparagraph: third writer\n"))
      << serve.out();
  // Stopped, it leaves cleanly.
  EXPECT_EQ(serve.stop(), 0) << serve.err();
}

TEST_F(RoomProcesses, ServeFailsWhenTheBrokerGoes) {
  start_broker();
  Child& serve = start_serve();
  broker_->stop();
  auto status = serve.wait(milliseconds(10000));
  ASSERT_TRUE(status.has_value()) << serve.err();
  EXPECT_EQ(*status, 1);
  auto error = serve.err().find("Error: ");
  ASSERT_NE(error, std::string::npos) << serve.err();
  EXPECT_NE(serve.err().find("closed the connection", error), std::string::npos) << serve.err();
}

TEST_F(RoomProcesses, WriteWithNobodyServingTheDocumentFails) {
  struct Case {
    const char* what;
    std::vector<std::string> serve;  // none: no served document at all
    std::vector<std::string> write;
    const char* names;
  };
  const std::vector<Case> cases = {
      {"no server", {}, {}, "record=untitled"},
      {"served under another record", {"--record", "file:/notes.md"}, {}, "record=untitled"},
      {"asked for another record", {}, {"--record", "file:/other.md"}, "record=file:/other.md"},
      {"served for another app", {"--app", "so.pelto.chat"}, {}, "app=so.pelto.word-processor"},
  };
  start_broker();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    clear_children();
    if (!c.serve.empty() || std::string_view(c.what) == "asked for another record") start_serve(c.serve);
    auto extra = c.write;
    extra.insert(extra.end(), {"--timeout-ms", "800"});
    auto w = write("Vesk: anyone there?", extra);
    EXPECT_EQ(w.status, 1);
    EXPECT_TRUE(w.err.starts_with("Error: no participant answered with the document of ")) << w.err;
    EXPECT_NE(w.err.find(c.names), std::string::npos) << w.err;
    EXPECT_NE(w.err.find("within 800 ms"), std::string::npos) << w.err;
    EXPECT_TRUE(w.out.empty());
    for (auto& serve : children_) EXPECT_EQ(serve.out().find("Vesk: anyone there?"), std::string::npos);
  }
}

TEST_F(RoomProcesses, FailuresBeforeJoiningAndUsageErrors) {
  const std::string missing = (dir_ / "no-broker.sock").string();
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"no broker to write to", {"write", "--socket", missing, "--workspace", kWorkspace, "hi"}, 1, "connect to"},
      {"no broker to serve on", {"serve", "--socket", missing, "--workspace", kWorkspace, "--seed", seed_}, 1,
       "connect to"},
      {"no broker to launch on", {"launch", "--socket", missing, "--", "--workspace", kWorkspace}, 1, "connect to"},
      {"seed file missing", {"serve", "--socket", missing, "--workspace", kWorkspace, "--seed", "/no/seed.md"}, 1,
       "cannot read /no/seed.md"},
      {"no command", {}, 2, ""},
      {"serve without a seed", {"serve", "--socket", missing, "--workspace", kWorkspace}, 2, "--seed"},
      {"room id not a UUID", {"write", "--socket", missing, "--workspace", "room-1", "hi"}, 2, "not a UUID"},
      {"empty text", {"write", "--socket", missing, "--workspace", kWorkspace, ""}, 2, "empty"},
      {"agent arguments without --", {"launch", "--socket", missing, "--workspace", kWorkspace}, 2, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto r = room(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(r.err.starts_with("Error: ")) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
}

// A participant in this process, speaking the wire itself.
class Peer {
 public:
  Peer(const RoomAddress& address, collab::Role role, const std::string& id) {
    auto m = join_room(address, role, id);
    EXPECT_TRUE(m.has_value()) << m.error().display();
    manager_.emplace(std::move(*m));
  }
  // The first snapshot that arrives, asking with `ask` every half second.
  std::optional<RoomDocument> snapshot(const collab::Body& ask) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    auto asked = deadline - std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      if (std::chrono::steady_clock::now() - asked > milliseconds(500)) {
        EXPECT_TRUE(manager_->send(ask).has_value());
        asked = std::chrono::steady_clock::now();
      }
      auto events = next_events(*manager_, milliseconds(100));
      if (!events) return std::nullopt;
      for (auto& e : *events) {
        auto m = e.document_mutation();
        if (!m || !*m || (*m)->kind != collab::DocumentMutation::Kind::snapshot) continue;
        auto doc = RoomDocument::from_snapshot((*m)->bytes, crdt::ActorId::random());
        if (doc) return std::move(*doc);
      }
    }
    return std::nullopt;
  }
  void send(collab::DocumentMutation::Kind kind, crdt::Bytes bytes) {
    ASSERT_TRUE(manager_->send(mutation(kind, std::move(bytes))).has_value());
    ASSERT_TRUE(manager_->flush(milliseconds(5000)).has_value());
  }

 private:
  std::optional<collab::CollaborationManager> manager_;
};

TEST_F(RoomProcesses, AnswersTheAgentsRequestAndMergesWhatComesBack) {
  start_broker();
  Child& serve = start_serve();
  Peer agent(address(), collab::Role::agent, "Vesk");
  auto doc = agent.snapshot(collab::DocumentRequest{});
  ASSERT_TRUE(doc.has_value());
  std::vector<BlockLine> seed = {
      {"heading", "Plan"}, {"paragraph", "Keep this paragraph."}, {"list_item", "first"}, {"list_item", "second"}};
  EXPECT_EQ(doc->blocks(), seed);

  // What does not load is dropped, and the document is still served.
  size_t from = serve.err().size();
  agent.send(collab::DocumentMutation::Kind::change, {0x85, 0x6f, 0x4a, 0x83, 9, 9, 9});
  agent.send(collab::DocumentMutation::Kind::snapshot, {1, 2, 3});
  EXPECT_TRUE(serve.wait_for_err("refused a change", milliseconds(10000), from)) << serve.err();
  EXPECT_TRUE(serve.wait_for_err("refused a snapshot", milliseconds(10000), from)) << serve.err();

  // A whole snapshot with more in it is merged.
  ASSERT_TRUE(doc->append_paragraph("Vesk: done, see above", false).has_value());
  agent.send(collab::DocumentMutation::Kind::snapshot, doc->save());
  EXPECT_TRUE(serve.wait_for_out(listing_with("Vesk: done, see above"))) << serve.out();
}

TEST_F(RoomProcesses, LeavesMutationsOfAnotherDocumentAlone) {
  start_broker();
  Child& serve = start_serve();
  Peer own(address(), collab::Role::person, "reader");
  auto doc = own.snapshot(collab::DocumentWanted{kDefaultApp, std::nullopt});
  ASSERT_TRUE(doc.has_value());
  ASSERT_TRUE(doc->append_paragraph("belongs to another file", false).has_value());

  // The same history, sent by a participant of another record of the room.
  Peer elsewhere(address("file:/elsewhere.md"), collab::Role::application, "other-app");
  size_t from = serve.err().size();
  elsewhere.send(collab::DocumentMutation::Kind::snapshot, doc->save());
  EXPECT_TRUE(serve.wait_for_err("left a mutation of another document", milliseconds(10000), from))
      << serve.err();
  // Then a change of its own document, which it does take.
  ASSERT_EQ(write("after the other file").status, 0);
  ASSERT_TRUE(serve.wait_for_out(listing_with("after the other file"))) << serve.out();
  EXPECT_EQ(serve.out().find("belongs to another file"), std::string::npos);
}

TEST_F(RoomProcesses, LaunchHandsTheAgentAConnectedSocket) {
  start_broker();
  size_t from = broker_->err().size();
  // A stand-in program that shows what it was handed and ends with a status of its own.
  auto r = room({"launch", "--socket", socket_, "--agent", "/bin/sh", "--", "-c",
                 "readlink /proc/$$/fd/$PELTO_SVC_COLLAB_FD; exit 7"});
  EXPECT_EQ(r.status, 7) << r.err;
  EXPECT_TRUE(r.out.starts_with("socket:[")) << r.out;
  EXPECT_TRUE(broker_->wait_for_err("participant connected", milliseconds(10000), from));

  auto missing = room({"launch", "--socket", socket_, "--agent", "/no/such/agent", "--", "--workspace", kWorkspace});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(missing.err.starts_with("Error: start /no/such/agent: No such file or directory")) << missing.err;
}

}  // namespace
}  // namespace pelto::room
