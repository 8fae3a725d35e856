#include "apps/agent/apply/replica.h"

#include <gtest/gtest.h>

#include "interfaces/docmodel/history.h"
#include "interfaces/docmodel/mutate.h"

namespace pelto::agent {
namespace {

const crdt::ActorId kAgent = crdt::ActorId::from_string("Vesk");
const crdt::ObjId kRoot = crdt::ObjId::root();

crdt::Document word_document() {
  auto doc = model::new_document(crdt::ActorId::from_string("person"));
  EXPECT_TRUE(doc);
  return std::move(*doc);
}

crdt::Document chat_document(bool with_folio) {
  crdt::Document doc = with_folio ? word_document() : crdt::Document(crdt::ActorId::from_string("chat"));
  EXPECT_TRUE(doc.put(kRoot, "seeded", true));
  doc.commit();
  return doc;
}

TEST(Claim, FirstPassMarksBeatTheWordProcessorFallback) {
  struct Case {
    const char* what;
    std::function<crdt::Document()> make;
    const char* app;  // nullptr: nobody
  } cases[] = {
      {"word processor", [] { return word_document(); }, "so.pelto.word-processor"},
      {"chat with folio schema", [] { return chat_document(true); }, "so.pelto.chat"},
      {"photos_edits map",
       [] {
         crdt::Document d;
         EXPECT_TRUE(d.put_object(kRoot, "photos_edits", crdt::ObjType::Map));
         return d;
       },
       "so.pelto.photos"},
      {"older edits scalar",
       [] {
         crdt::Document d;
         EXPECT_TRUE(d.put(kRoot, "edits", int64_t{3}));
         return d;
       },
       "so.pelto.photos"},
      {"edits as a map is nobody's",
       [] {
         crdt::Document d;
         EXPECT_TRUE(d.put_object(kRoot, "edits", crdt::ObjType::Map));
         return d;
       },
       nullptr},
      {"photos_edits scalar is nobody's",
       [] {
         crdt::Document d;
         EXPECT_TRUE(d.put(kRoot, "photos_edits", "x"));
         return d;
       },
       nullptr},
  };
  for (auto& c : cases) {
    auto doc = c.make();
    auto bytes = doc.save();
    const AppEntry* app = claim_bytes(bytes);
    if (c.app == nullptr) {
      EXPECT_EQ(app, nullptr) << c.what;
    } else {
      ASSERT_NE(app, nullptr) << c.what;
      EXPECT_EQ(app->id, c.app) << c.what;
    }
  }
  const uint8_t garbage[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(claim_bytes(garbage), nullptr);
}

TEST(LoadAddressed, TakesTheAgentsActorAndSendsNothingBack) {
  auto source = word_document();
  auto replica = load_addressed_document(source.save(), kAgent);
  ASSERT_TRUE(replica) << replica.error().display();
  EXPECT_EQ(replica->doc.actor().hex(), "5665736b");
  EXPECT_EQ(replica->app->id, "so.pelto.word-processor");
  auto pending = replica->doc.save_incremental();
  if (!pending.empty()) {
    auto report = crdt::Document().load_incremental(pending);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->applied + report->waiting, 0u) << "the loaded history would be sent back";
  }

  crdt::Document nobody;
  ASSERT_TRUE(nobody.put(kRoot, "unrelated", "x"));
  auto refused = load_addressed_document(nobody.save(), kAgent);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message(), "no app the agent speaks to claims this document");
}

struct Peers : ::testing::Test {
  crdt::Document person = word_document();
  Replica replica = *load_addressed_document(person.save(), kAgent);

  std::vector<uint8_t> person_types(std::string_view text) {
    auto m = model::open(person);
    EXPECT_TRUE(m);
    auto gen = model::seeded_id_gen(person, *m);
    model::DocMut mut(person, *m, gen);
    auto id = mut.insert_block(std::nullopt, "paragraph");
    EXPECT_TRUE(id);
    EXPECT_TRUE(mut.splice_text(*id, 0, 0, text));
    history::commit_stamped(person);
    return person.save_incremental();
  }
};

TEST_F(Peers, IncrementalChangeAppliesOnceAndWaitsForItsDependency) {
  person.save_incremental();
  auto first = person_types("one");
  auto second = person_types("two");
  auto heads = replica.doc.heads();
  EXPECT_FALSE(apply_incremental(replica, second)) << "depends on the first change";
  EXPECT_EQ(replica.doc.heads(), heads);
  EXPECT_EQ(replica.doc.change_count(), person.change_count() - 2);

  EXPECT_TRUE(apply_incremental(replica, first));
  EXPECT_FALSE(apply_incremental(replica, first)) << "already held";
  EXPECT_TRUE(apply_incremental(replica, second));
  EXPECT_EQ(replica.doc.heads(), person.heads());
  const uint8_t garbage[] = {0xde, 0xad, 0xbe, 0xef};
  EXPECT_FALSE(apply_incremental(replica, garbage));
  EXPECT_EQ(replica.doc.heads(), person.heads());
}

TEST_F(Peers, SameHistoryMergesAndNothingIsPublished) {
  person_types("hello");
  EXPECT_TRUE(absorb_snapshot(replica, person.save()));
  EXPECT_TRUE(absorb_snapshot(replica, person.save()));
  EXPECT_EQ(replica.doc.heads(), person.heads());
  EXPECT_TRUE(replica.doc.save_incremental().empty());
  // Another application's document never merges into the word processor's replica.
  EXPECT_FALSE(absorb_snapshot(replica, chat_document(false).save()));
}

TEST_F(Peers, PeerStateAddsOneReplicaPerApplicationAndIgnoresTheUnclaimed) {
  std::vector<Replica> others;
  crdt::Document nobody;
  ASSERT_TRUE(nobody.put(kRoot, "unrelated", "x"));
  ASSERT_TRUE(peer_state(others, nobody.save(), kAgent));
  EXPECT_TRUE(others.empty());

  auto chat = chat_document(false);
  ASSERT_TRUE(peer_state(others, chat.save(), kAgent));
  ASSERT_EQ(others.size(), 1u);
  EXPECT_EQ(others[0].app->id, "so.pelto.chat");
  EXPECT_EQ(others[0].doc.actor(), kAgent);

  ASSERT_TRUE(chat.put(kRoot, "topic", "lunch"));
  chat.commit();
  ASSERT_TRUE(peer_state(others, chat.save(), kAgent));
  ASSERT_EQ(others.size(), 1u) << "the same application merges into its replica";
  EXPECT_EQ(others[0].doc.get(kRoot, "topic")->as_string(), "lunch");
}

TEST_F(Peers, OpenModelNamesTheMissingSchema) {
  EXPECT_TRUE(open_model(replica));
  Replica chat{chat_document(false), app_by_id("so.pelto.chat"), std::nullopt};
  auto opened = open_model(chat);
  ASSERT_FALSE(opened);
  EXPECT_TRUE(opened.error().message().starts_with("the document has no folio schema: "));
}

TEST_F(Peers, StampedCommitCarriesTheRunContext) {
  replica.run_context = nlohmann::json{{"action", {{"label", "Agent task"}}}};
  auto before = replica.doc.heads();
  EXPECT_FALSE(stamp_commit(replica, "nothing", "noop", before));

  ASSERT_TRUE(replica.doc.put(kRoot, "touched", true));
  auto change = stamp_commit(replica, "insert paragraph", "insert paragraph", before);
  ASSERT_TRUE(change);
  EXPECT_TRUE(change->stamped);
  EXPECT_FALSE(change->bytes.empty());
  auto versions = history::versions(replica.doc);
  ASSERT_FALSE(versions.empty());
  EXPECT_EQ(versions.back().message, "insert paragraph");
  EXPECT_EQ(versions.back().context, replica.run_context);
  EXPECT_EQ(versions.back().actor_hex, "5665736b");

  before = replica.doc.heads();
  ASSERT_TRUE(replica.doc.put(kRoot, "touched", false));
  replica.doc.commit();  // an action that closed its own transaction
  change = stamp_commit(replica, "set", "set", before);
  ASSERT_TRUE(change);
  EXPECT_FALSE(change->stamped);
  EXPECT_FALSE(change->bytes.empty());
}

}  // namespace
}  // namespace pelto::agent
