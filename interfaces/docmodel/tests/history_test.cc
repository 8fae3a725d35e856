// Stamped commits, the version list and the run history.
#include <gtest/gtest.h>

#include "interfaces/docmodel/history.h"
#include "interfaces/docmodel/tests/fixture.h"

namespace pelto::history {
namespace {

TEST(Commits, StampedCommitsShowInVersionsWithTheirMessages) {
  model::testing::Fresh f;
  EXPECT_EQ(commit_stamped(f.doc), std::nullopt) << "nothing pending: nothing committed";
  f.para("first");
  int64_t before = wall_clock_ms();
  auto plain = commit_stamped(f.doc);
  ASSERT_TRUE(plain);
  f.para("second");
  nlohmann::json context = {{"action", {{"label", "Agent task"}}}, {"group", {{"id", "agent-run:b1"}}}};
  auto stamped = commit_stamped_with_message(f.doc, "insert paragraph", context);
  ASSERT_TRUE(stamped);
  f.para("third");
  auto message_only = commit_stamped_with_message(f.doc, "{not json");
  int64_t after = wall_clock_ms();

  auto v = versions(f.doc);
  ASSERT_EQ(v.size(), 4u);
  EXPECT_TRUE(v[0].genesis);
  EXPECT_TRUE(is_schema_genesis(*f.doc.get_change_meta(v[0].hash)));
  for (size_t i = 1; i < v.size(); ++i) {
    EXPECT_FALSE(v[i].genesis);
    EXPECT_GE(v[i].time_ms, before);
    EXPECT_LE(v[i].time_ms, after);
    EXPECT_EQ(v[i].actor_hex, crdt::ActorId::from_string("alice").hex());
  }
  EXPECT_EQ(v[1].hash, *plain);
  EXPECT_EQ(v[1].message, std::nullopt);
  EXPECT_EQ(v[2].hash, *stamped);
  EXPECT_EQ(v[2].message, "insert paragraph");
  EXPECT_EQ(v[2].context, context);
  EXPECT_EQ(v[3].hash, *message_only);
  EXPECT_EQ(v[3].message, "{not json");
  EXPECT_EQ(v[3].context, std::nullopt);
}

TEST(Commits, OnlyTheRealGenesisCountsAsGenesis) {
  model::testing::Fresh f;
  f.para("x");
  f.doc.commit(crdt::CommitOptions{std::string(model::kGenesisMessage), 0});
  auto changes = f.doc.changes();
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_TRUE(is_schema_genesis(changes[0]));
  EXPECT_FALSE(is_schema_genesis(changes[1])) << "a genesis message from another actor is not the genesis";
}

TEST(Runs, RecordedRunsReadBackInOrderAfterSaveAndLoad) {
  model::testing::Fresh f;
  RunEntry one{"agent-run:b1", "turn the bullets into a table", "keyword planner", "ana",
               crdt::ActorId::from_string("Vesk").hex(), 1765460000000, "completed"};
  RunEntry two{"agent-run:b2", "make it sing", "decision unavailable", std::nullopt,
               crdt::ActorId::from_string("Vesk").hex(), 1765460001000, "replied"};
  ASSERT_TRUE(record_run(f.doc, f.model, one));
  ASSERT_TRUE(record_run(f.doc, f.model, two));
  EXPECT_FALSE(record_run(f.doc, f.model, RunEntry{})) << "a run needs an id";
  ASSERT_TRUE(commit_stamped(f.doc));

  auto loaded = crdt::Document::load(f.doc.save());
  ASSERT_TRUE(loaded);
  auto m = model::open(*loaded);
  ASSERT_TRUE(m);
  EXPECT_EQ(runs(*loaded, *m), (std::vector<RunEntry>{one, two}));
}

}  // namespace
}  // namespace pelto::history
