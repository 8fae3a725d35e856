// Invoking through the door on a real CRDT document with the notes executor.
#include <gtest/gtest.h>

#include "interfaces/actions/door.h"
#include "interfaces/actions/outcome.h"
#include "interfaces/actions/tests/test_surface.h"

namespace pelto::actions {
namespace {

using json = nlohmann::json;
using testing::lines_of;
using testing::notes_surface;
using testing::title_of;

class Door : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(testing::register_notes(registry)); }

  OperationDescriptor descriptor(std::string_view id) {
    for (auto& d : door::survey(tree)) {
      if (d.operation_id() == id) return d;
    }
    ADD_FAILURE() << "no " << id;
    return {};
  }
  DoorResult invoke(std::string_view id, json args) {
    return door::invoke_json(doc, tree, descriptor(id), args, actor, registry, transport);
  }
  DoorResult invoke_confirmed(std::string_view id, json args) {
    return door::invoke_json_confirmed(doc, tree, descriptor(id), args, actor, registry, transport);
  }

  crdt::Document doc{crdt::ActorId::from_string("seed")};
  std::vector<Resource> tree = notes_surface();
  ActionRegistry registry = ActionRegistry::new_();
  LocalTransport transport;
  crdt::Bytes actor = crdt::ActorId::from_string("Vesk").bytes;
};

TEST_F(Door, TextInputActionChangesTheDocumentInsideThePendingChange) {
  auto out = invoke("notes.board#rename", {{"title", "  Groceries  "}});
  ASSERT_TRUE(out) << out.error().display();
  EXPECT_TRUE(out->changed_document);
  EXPECT_FALSE(out->replicated);
  EXPECT_EQ(title_of(doc), "Groceries");  // the single-text input is trimmed
  EXPECT_GT(doc.pending_ops(), 0u);       // the caller commits
  EXPECT_EQ(doc.change_count(), 0u);
  EXPECT_EQ(doc.actor(), crdt::ActorId::from_string("Vesk"));
  EXPECT_TRUE(transport.replicated().empty());
}

TEST_F(Door, StructuredActionIsBoundThenEncoded) {
  auto out = invoke("notes.board#add-lines", {{"lines", {"milk", "eggs"}}, {"tag", "buy"}, {"repeat", 2}});
  ASSERT_TRUE(out) << out.error().display();
  EXPECT_EQ(lines_of(doc), (std::vector<std::string>{"buy: milk", "buy: eggs", "buy: milk", "buy: eggs"}));

  auto refused = invoke("notes.board#add-lines", {{"lines", {"milk", "milk"}}});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind(), DoorError::Kind::Arguments);
  EXPECT_TRUE(refused.error().display().starts_with("the argument `lines` is not acceptable"));
  EXPECT_EQ(lines_of(doc).size(), 4u);
}

TEST_F(Door, RequiredTextInputThatTrimsToNothingIsRefused) {
  auto out = invoke("notes.board#rename", {{"title", "   "}});
  ASSERT_FALSE(out);
  EXPECT_EQ(out.error().kind(), DoorError::Kind::Encoding);
  EXPECT_EQ(out.error().display(), "Title is required");
  EXPECT_EQ(doc.pending_ops(), 0u);
}

TEST_F(Door, ConfirmationIsRefusedThenAccepted) {
  ASSERT_TRUE(invoke("notes.board#add-lines", {{"lines", {"a"}}}));
  auto refused = invoke("notes.board#reset", json::object());
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind(), DoorError::Kind::NeedsConfirmation);
  EXPECT_EQ(refused.error().display(), "that action requires explicit confirmation");
  EXPECT_EQ(lines_of(doc).size(), 1u);

  // The invocation keys never reach the application: binding would refuse them as unknown.
  auto done = invoke_confirmed("notes.board#reset", {{"confirm", true}});
  ASSERT_TRUE(done) << done.error().display();
  EXPECT_TRUE(lines_of(doc).empty());
}

TEST_F(Door, PhraseActionNeedsTheConfirmedDoorToo) {
  ASSERT_TRUE(invoke("notes.board#add-lines", {{"lines", {"a"}}}));
  EXPECT_EQ(invoke("notes.board#wipe", {{"confirmation_phrase", "wipe the board"}}).error().kind(),
            DoorError::Kind::NeedsConfirmation);
  ASSERT_TRUE(invoke_confirmed("notes.board#wipe", {{"confirmation_phrase", "wipe the board"}}));
  EXPECT_TRUE(lines_of(doc).empty());
}

TEST_F(Door, DestructiveActionNeedsNoConfirmation) {
  ASSERT_TRUE(invoke("notes.board#add-lines", {{"lines", {"a"}}}));
  ASSERT_TRUE(invoke("notes.board#clear", json::object()));
  EXPECT_TRUE(lines_of(doc).empty());
}

TEST_F(Door, ExecutorRefusalIsQuotedAndLeavesNothingBehind) {
  auto refused = invoke("notes.board#clear", json::object());
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind(), DoorError::Kind::Refused);
  EXPECT_EQ(refused.error().display(), "the board has no lines to clear");

  // An executor that writes before refusing: its write is rolled back.
  auto scribbled = invoke("notes.note:n1#meta#scribble", json::object());
  ASSERT_FALSE(scribbled);
  EXPECT_EQ(scribbled.error().display(), "scribbling is not allowed here");
  EXPECT_EQ(doc.pending_ops(), 0u);
  EXPECT_FALSE(doc.get(crdt::ObjId::root(), "scratch"));
}

TEST_F(Door, RefusalKeepsTheCallersEarlierWrites) {
  ASSERT_TRUE(doc.put(crdt::ObjId::root(), "mine", crdt::Scalar(int64_t{1})));
  ASSERT_FALSE(invoke("notes.note:n1#meta#scribble", json::object()));
  EXPECT_TRUE(doc.get(crdt::ObjId::root(), "mine"));
}

TEST_F(Door, ProducedContentIsAContentResource) {
  ASSERT_TRUE(invoke("notes.board#rename", {{"title", "abc"}}));
  auto out = invoke("notes.note:n1#export", json::object());
  ASSERT_TRUE(out) << out.error().display();
  ASSERT_EQ(out->resources.size(), 1u);
  EXPECT_EQ(out->resources[0].kind, "pelto.content");
  EXPECT_EQ(outcome::content_hash(out->resources[0].id),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");  // SHA-256 of "abc"
  EXPECT_FALSE(out->content);
}

TEST_F(Door, ContentConsumingActionTakesItsInputUnchecked) {
  const std::string hash(64, 'a');
  auto out = invoke("notes.board#place", {{"value", hash}});
  ASSERT_TRUE(out) << out.error().display();
  EXPECT_EQ(doc.get(crdt::ObjId::root(), "placed")->as_string(), hash);
  auto none = invoke("notes.board#place", json::object());
  ASSERT_FALSE(none);
  EXPECT_EQ(none.error().display(), "no content to place");
}

TEST_F(Door, DeviceOperationReachesTheTransportAndChangesNoDocument) {
  auto before = doc.save();
  auto out = invoke("notes.board#show", json::object());
  ASSERT_TRUE(out) << out.error().display();
  EXPECT_TRUE(out->replicated);
  EXPECT_FALSE(out->changed_document);
  ASSERT_EQ(transport.replicated().size(), 1u);
  const Replication& op = transport.replicated()[0];
  EXPECT_EQ(op.resource_id, "notes.board");
  EXPECT_EQ(op.action_id, "show");
  EXPECT_EQ(op.action.operation_type, "notes.operation");
  EXPECT_EQ(op.action.payload, json("ShowBoard"));
  EXPECT_EQ(op.actor, actor);
  EXPECT_EQ(doc.pending_ops(), 0u);
  EXPECT_EQ(doc.save(), before);
  EXPECT_EQ(transport.take().size(), 1u);
  EXPECT_TRUE(transport.replicated().empty());
}

TEST_F(Door, ContractTypeMismatchIsRefusedBeforeAnythingRuns) {
  ASSERT_TRUE(invoke("notes.board#add-lines", {{"lines", {"a"}}}));
  auto out = invoke("notes.board#print", json::object());
  ASSERT_FALSE(out);
  EXPECT_EQ(out.error().kind(), DoorError::Kind::Encoding);
  EXPECT_EQ(out.error().display(), "the action is declared as `notes.operation` but encoded `notes.action`");
  EXPECT_EQ(lines_of(doc).size(), 1u);
  EXPECT_TRUE(transport.replicated().empty());
}

TEST_F(Door, UnavailableActionIsRefused) {
  tree = notes_surface({.with_note = true, .show_available = false});
  auto out = invoke("notes.board#show", json::object());
  ASSERT_FALSE(out);
  EXPECT_EQ(out.error().kind(), DoorError::Kind::Unavailable);
  EXPECT_EQ(out.error().display(), "that action is unavailable right now: No display is attached.");
  EXPECT_TRUE(transport.replicated().empty());
}

TEST_F(Door, VanishedResourceOrActionNamesNothing) {
  OperationDescriptor exported = descriptor("notes.note:n1#export");
  OperationDescriptor renamed = descriptor("notes.board#rename");
  renamed.action_id = "rename-later";
  tree = notes_surface({.with_note = false});  // the note is gone from a rebuilt tree
  for (const auto& d : {exported, renamed}) {
    auto out = door::invoke_json(doc, tree, d, json::object(), actor, registry, transport);
    ASSERT_FALSE(out);
    EXPECT_EQ(out.error().kind(), DoorError::Kind::Vanished);
    EXPECT_EQ(out.error().display(), "that no longer names anything I can find");
  }
}

TEST_F(Door, NoExecutorForTheTypeIsAnError) {
  ActionRegistry empty = ActionRegistry::new_();
  auto out = door::invoke_json(doc, tree, descriptor("notes.board#rename"), {{"title", "x"}}, actor, empty, transport);
  ASSERT_FALSE(out);
  EXPECT_EQ(out.error().kind(), DoorError::Kind::NoExecutor);
  EXPECT_EQ(out.error().display(), "nothing here can apply `notes.action`");
}

}  // namespace
}  // namespace pelto::actions
