// Survey: the documented pre-order and every descriptor field as declared.
#include <gtest/gtest.h>

#include "interfaces/actions/door.h"
#include "interfaces/actions/tests/test_surface.h"

namespace pelto::actions {
namespace {

using testing::notes_surface;

const OperationDescriptor& by_id(const std::vector<OperationDescriptor>& all, std::string_view id) {
  for (const auto& d : all) {
    if (d.operation_id() == id) return d;
  }
  ADD_FAILURE() << "no descriptor " << id;
  return all.front();
}

TEST(Survey, PreOrderActionsThenChildrenThenNextRoot) {
  auto ids = std::vector<std::string>{};
  for (const auto& d : door::survey(notes_surface())) ids.push_back(d.operation_id());
  EXPECT_EQ(ids, (std::vector<std::string>{
                     "notes.board#rename", "notes.board#add-lines", "notes.board#clear", "notes.board#reset",
                     "notes.board#wipe", "notes.board#place", "notes.board#show", "notes.board#print",
                     "notes.note:n1#export", "notes.note:n1#meta#scribble", "notes.archive#open"}));
}

TEST(Survey, DeepTreesAreWalkedWithoutRecursion) {
  Resource leaf("r0", "k", "deep");
  leaf = leaf.with_action(ActionSpec("a", "A"));
  Resource r = leaf;
  for (int i = 1; i < 5000; ++i) r = Resource("r" + std::to_string(i), "k", "l").with_child(std::move(r));
  auto all = door::survey(r);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].operation_id(), "r0#a");
}

TEST(Survey, DescriptorCarriesTheResourceAndTheContract) {
  auto all = door::survey(notes_surface());
  const auto& rename = by_id(all, "notes.board#rename");
  EXPECT_EQ(rename.resource_kind, "notes.board");
  EXPECT_EQ(rename.resource_label, "Board");
  EXPECT_EQ(rename.action_label, "Rename board");
  EXPECT_EQ(rename.description, "Give the board a new title");
  ASSERT_EQ(rename.parameters.size(), 1u);
  EXPECT_EQ(rename.parameters[0].name, "title");
  EXPECT_TRUE(rename.parameters[0].required);
  EXPECT_EQ(rename.parameters[0].description, "Title (board title…)");
  EXPECT_EQ(rename.confirmation, Confirmation::none());
  EXPECT_EQ(rename.risk, Risk::Low);
  EXPECT_EQ(rename.permission, Permission::Write);
  EXPECT_FALSE(rename.availability);
  EXPECT_FALSE(rename.consumes_content());

  const auto& add = by_id(all, "notes.board#add-lines");
  ASSERT_EQ(add.parameters.size(), 5u);
  EXPECT_EQ(add.parameters[0].type, ParamType::Array);
  ASSERT_TRUE(add.parameters[0].constraints);
  EXPECT_EQ((*add.parameters[0].constraints)["maxItems"], 3);
  EXPECT_EQ(add.parameters[4].choices, (std::vector<std::string>{"red", "blue"}));
  EXPECT_FALSE(add.parameters[4].constraints);

  EXPECT_EQ(by_id(all, "notes.board#clear").risk, Risk::Destructive);
  EXPECT_FALSE(by_id(all, "notes.board#clear").reversible);
  EXPECT_EQ(by_id(all, "notes.board#clear").confirmation, Confirmation::none());
  EXPECT_EQ(by_id(all, "notes.board#reset").confirmation, Confirmation::confirm());
  EXPECT_EQ(by_id(all, "notes.board#wipe").confirmation, Confirmation::with_phrase("wipe the board"));

  const auto& place = by_id(all, "notes.board#place");
  EXPECT_TRUE(place.consumes_content());
  EXPECT_EQ(place.content_input->description, "The content to place on the board");

  const auto& show = by_id(all, "notes.board#show");
  ASSERT_TRUE(show.contract);
  EXPECT_EQ(show.contract->operation_type, "notes.operation");
  EXPECT_EQ(show.contract->capabilities, (std::vector<std::string>{"device-local", "presentation"}));
  EXPECT_EQ(show.note, "Shows the board on the device that runs the notes application");
  EXPECT_EQ(show.permission, Permission::Read);
  EXPECT_EQ(show.retry, Retry::Idempotent);

  const auto& exp = by_id(all, "notes.note:n1#export");
  EXPECT_EQ(exp.result, ActionResult::resource("pelto.content"));
  EXPECT_EQ(exp.execution, Execution::background(true));
  EXPECT_EQ(exp.resource_label, "First note");
}

TEST(Survey, UnavailableActionsSayWhy) {
  auto all = door::survey(notes_surface({.with_note = true, .show_available = false}));
  const auto& show = by_id(all, "notes.board#show");
  ASSERT_TRUE(show.availability);
  EXPECT_EQ(show.availability->reason, "no_display");
  EXPECT_EQ(show.availability->message, "No display is attached.");
}

TEST(ContractText, DebugFormsAndNames) {
  struct Case {
    std::string got, want;
  };
  const Case cases[] = {
      {debug_form(Confirmation::none()), "None"},
      {debug_form(Confirmation::confirm()), "Confirm"},
      {debug_form(Confirmation::with_phrase("say \"yes\" \\ now")), R"(Phrase { phrase: "say \"yes\" \\ now" })"},
      {debug_form(Execution::immediate()), "Immediate"},
      {debug_form(Execution::background(true)), "Background { cancellable: true }"},
      {debug_form(Execution::streaming(false, {{"type", "string"}})),
       R"(Streaming { cancellable: false, item_schema: {"type":"string"} })"},
      {debug_form(ActionResult::none()), "None"},
      {debug_form(ActionResult::job()), "Job"},
      {debug_form(ActionResult::resource("pelto.content")), R"(Resource { resource_kind: "pelto.content" })"},
      {debug_form(ActionResult::json({{"type", "object"}})), R"(Json { schema: {"type":"object"} })"},
      {std::string(name_of(Retry::RetryWithInvocationId)), "RetryWithInvocationId"},
      {std::string(name_of(Risk::Destructive)), "Destructive"},
      {std::string(name_of(Permission::Admin)), "Admin"},
      {std::string(type_word(ParamType::Datetime)), "datetime"},
      {std::string(type_word(ParamType::Secret)), "secret"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
  for (int i = 0; i < 9; ++i) {
    auto t = static_cast<ParamType>(i);
    EXPECT_EQ(type_from_word(type_word(t)), t);
  }
  EXPECT_EQ(type_from_word("string"), std::nullopt);
}

}  // namespace
}  // namespace pelto::actions
