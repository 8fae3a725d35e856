#include "interfaces/ui/run_history.h"

#include <gtest/gtest.h>

#include "interfaces/docmodel/schema.h"

namespace pelto::ui {
namespace {

TEST(RunHistory, EntriesAppendInOrderAndSurviveSaveAndLoad) {
  auto doc = model::new_document(crdt::ActorId::from_string("Vesk"));
  ASSERT_TRUE(doc);
  auto before = history::wall_clock_ms();
  ASSERT_TRUE(record_run_with_details(*doc, {"agent-run:b1", "make a table", "keywords: insert table",
                                             std::nullopt, "5665736b", "performed"}));
  ASSERT_TRUE(record_run_with_details(*doc, {"agent-run:b2", "fly", "decision unavailable", "ana",
                                             "5665736b", "replied"}));
  history::commit_stamped(*doc);
  auto loaded = crdt::Document::load(doc->save());
  ASSERT_TRUE(loaded);
  auto runs = run_history(*loaded);
  ASSERT_TRUE(runs);
  ASSERT_EQ(runs->size(), 2u);
  EXPECT_EQ((*runs)[0].run_id, "agent-run:b1");
  EXPECT_EQ((*runs)[0].decision, "keywords: insert table");
  EXPECT_FALSE((*runs)[0].assigned_by);
  EXPECT_GE((*runs)[0].time_ms, before);
  EXPECT_EQ((*runs)[1].assigned_by, "ana");
  EXPECT_EQ((*runs)[1].author, "5665736b");
  EXPECT_EQ((*runs)[1].outcome, "replied");
}

TEST(RunHistory, ADocumentWithoutTheSchemaIsRefusedUntouched) {
  crdt::Document plain;
  auto r = record_run_with_details(plain, {"agent-run:x", "", "", std::nullopt, "00", ""});
  ASSERT_FALSE(r);
  EXPECT_EQ(plain.pending_ops(), 0u);
  EXPECT_FALSE(run_history(plain));
}

}  // namespace
}  // namespace pelto::ui
