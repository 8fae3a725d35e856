#include "apps/agent/session/driver.h"

#include <gtest/gtest.h>

#include "interfaces/collab/route.h"
#include "interfaces/docmodel/history.h"
#include "interfaces/docmodel/mutate.h"
#include "tools/broker/tests/broker_process.h"

namespace pelto::agent {
namespace {

using pelto::testing::BrokerProcess;
using pelto::testing::Scripted;
using namespace std::chrono_literals;

constexpr std::string_view kWp = "so.pelto.word-processor";
const collab::RoomId kRoom = *collab::parse_room("3f1c2b4a-9d8e-4f70-8a6b-5c4d3e2f1a0b");

Settings settings_for(const std::string& socket) {
  Settings s;
  s.app = std::string(kWp);
  s.name = "Vesk";
  s.endpoint = socket;
  s.room = kRoom;
  s.await_document = duration_from_ms(0);
  return s;
}

TEST(GiveUp, NamesTheAddressNobodyAnsweredOn) {
  Settings s = settings_for("/x");
  s.await_document = duration_from_ms(60000);
  const std::string tail =
      ". The broker matches all three and drops what does not match, so if the app has a file open its "
      "record is `file:<path>` and this agent must be given the same one with --record.";
  EXPECT_EQ(give_up_message(s),
            "no participant answered with a document in 60s. Announced app=so.pelto.word-processor "
            "room=3f1c2b4a-9d8e-4f70-8a6b-5c4d3e2f1a0b and no record (an untitled document)" + tail);
  s.await_document = duration_from_ms(2999);
  s.record = "file:/w/\"brief\"\\v1.docx";
  EXPECT_EQ(give_up_message(s),
            "no participant answered with a document in 2s. Announced app=so.pelto.word-processor "
            "room=3f1c2b4a-9d8e-4f70-8a6b-5c4d3e2f1a0b and record \"file:/w/\\\"brief\\\"\\\\v1.docx\"" + tail);
}

// A folio document written by `author`, with one paragraph per text.
crdt::Document document_of(std::string_view author, std::vector<std::string_view> paragraphs) {
  auto doc = model::new_document(crdt::ActorId::from_string(author));
  EXPECT_TRUE(doc);
  auto m = model::open(*doc);
  auto gen = model::seeded_id_gen(*doc, *m);
  model::DocMut mut(*doc, *m, gen);
  std::optional<std::string> after;
  for (auto text : paragraphs) {
    auto id = mut.insert_block(after ? std::optional<std::string_view>(*after) : std::nullopt, "paragraph");
    EXPECT_TRUE(id);
    EXPECT_TRUE(mut.splice_text(*id, 0, 0, text));
    after = *id;
  }
  history::commit_stamped(*doc);
  return std::move(*doc);
}

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    auto a = Scripted::connect(broker_.socket_path(), collab::Route{std::string(kWp), kRoom, std::nullopt},
                               collab::Role::application, "wp");
    ASSERT_TRUE(a) << a.error().display();
    app_.emplace(std::move(*a));
    Settings s = settings_for(broker_.socket_path());
    auto c = wire::RoomConnection::open({s.app, s.name, s.endpoint, s.record, s.room});
    ASSERT_TRUE(c) << c.error().display();
    ASSERT_TRUE(c->join());
    session_.emplace(SessionRecord{s, std::move(*c), crdt::ActorId::from_string("Vesk"), std::nullopt, {}, {},
                                   Clock::now(), std::nullopt, {}, {}});
    ASSERT_TRUE(app_->wait_for_kind<collab::PresenceAnnounce>());
  }

  void send_snapshot(crdt::Document& doc) {
    ASSERT_TRUE(app_->manager.send(collab::DocumentMutationMessage{
        collab::DocumentMutation{collab::DocumentMutation::Kind::snapshot, doc.save()}}));
  }
  void send_change(const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(app_->manager.send(
        collab::DocumentMutationMessage{collab::DocumentMutation{collab::DocumentMutation::Kind::change, bytes}}));
  }
  // Ticks until one reports a change of the document (within the patience).
  bool tick_until_changed() {
    auto deadline = Clock::now() + pelto::testing::kPatience;
    while (Clock::now() < deadline) {
      auto t = tick(*session_);
      EXPECT_TRUE(t) << t.error().display();
      if (!t) return false;
      if (t->document_changed) return true;
    }
    return false;
  }
  std::vector<std::string> body_texts() {
    auto m = model::open(session_->document->doc);
    std::vector<std::string> texts;
    auto snapshot = model::materialize(session_->document->doc, *m);
    for (const auto& b : snapshot.body().blocks) texts.push_back(b.text);
    return texts;
  }

  BrokerProcess broker_{PELTO_BROKER_BIN};
  std::optional<Scripted> app_;
  std::optional<SessionRecord> session_;
};

TEST_F(Session, AsksAgainEvery750msWhileNoDocumentIsHeld) {
  auto start = Clock::now();
  while (Clock::now() - start < 1950ms) ASSERT_TRUE(tick(*session_));
  // Read what has arrived by now.
  for (int i = 0; i < 20; ++i) {
    auto events = app_->manager.poll();
    ASSERT_TRUE(events);
    for (auto& e : *events) app_->seen.push_back(std::move(e));
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_GE(app_->count<collab::DocumentRequest>(), 3u) << "the join's request and two more";
  EXPECT_LE(app_->count<collab::DocumentRequest>(), 4u);
}

TEST_F(Session, TakesTheDocumentThenFollowsThePersonsChanges) {
  auto person = document_of("person", {"Intro"});
  send_snapshot(person);
  ASSERT_TRUE(tick_until_changed());
  ASSERT_TRUE(session_->document);
  EXPECT_EQ(session_->document->doc.actor().hex(), "5665736b");
  EXPECT_TRUE(session_->catalogue) << "a change fetches the catalogue";

  person.save_incremental();
  auto m = model::open(person);
  auto gen = model::seeded_id_gen(person, *m);
  model::DocMut mut(person, *m, gen);
  auto first = model::blocks_in_order(person, *m).front();
  ASSERT_TRUE(mut.splice_text(first, 5, 0, "!"));
  history::commit_stamped(person);
  send_change(person.save_incremental());
  ASSERT_TRUE(tick_until_changed());
  EXPECT_EQ(body_texts(), std::vector<std::string>{"Intro!"});

  // A second snapshot of the same history merges quietly.
  send_snapshot(person);
  ASSERT_TRUE(tick_until_changed());
  EXPECT_EQ(session_->document->doc.heads(), person.heads());
}

TEST_F(Session, AnswersRequestsForDocumentsItHolds) {
  auto person = document_of("person", {"Intro"});
  send_snapshot(person);
  ASSERT_TRUE(tick_until_changed());
  size_t snapshots_before = app_->count<collab::DocumentMutationMessage>();

  ASSERT_TRUE(app_->manager.send(collab::DocumentWanted{"so.pelto.photos", std::nullopt}));
  ASSERT_TRUE(app_->manager.send(collab::DocumentWanted{std::string(kWp), std::nullopt}));
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(tick(*session_));
  auto answer = app_->wait_for_kind<collab::DocumentMutationMessage>();
  ASSERT_TRUE(answer);
  auto mutation = answer->document_mutation();
  ASSERT_TRUE(mutation && *mutation);
  EXPECT_EQ((*mutation)->kind, collab::DocumentMutation::Kind::snapshot);
  auto copy = crdt::Document::load((*mutation)->bytes);
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->heads(), person.heads());
  EXPECT_EQ(app_->count<collab::DocumentMutationMessage>(), snapshots_before + 1)
      << "the photos request has no replica to answer with";
}

TEST_F(Session, GivesUpAfterTheAwaitTimeWithTheMessage) {
  session_->settings.await_document = duration_from_ms(300);
  auto r = run_document_session(*session_);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().display(), give_up_message(session_->settings));
  EXPECT_TRUE(r.error().message().starts_with("no participant answered with a document in 0s."));
}

}  // namespace
}  // namespace pelto::agent
