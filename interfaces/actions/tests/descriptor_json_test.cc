// The published JSON form of descriptors: every field survives the trip, and bad text is refused.
#include <gtest/gtest.h>

#include "interfaces/actions/descriptor_json.h"
#include "interfaces/actions/tests/test_surface.h"

namespace pelto::actions {
namespace {

TEST(DescriptorJson, EveryDescriptorOfTheSurfaceRoundTrips) {
  auto all = door::survey(testing::notes_surface({.with_note = true, .show_available = false}));
  for (const auto& d : all) {
    SCOPED_TRACE(d.operation_id());
    std::string text = descriptor_to_json(d).dump();
    auto back = descriptor_from_json_text(text);
    ASSERT_TRUE(back) << back.error().display();
    EXPECT_EQ(descriptor_to_json(*back).dump(), text);
    EXPECT_EQ(back->confirmation, d.confirmation);
    EXPECT_EQ(back->execution, d.execution);
    EXPECT_EQ(back->result, d.result);
    EXPECT_EQ(back->availability, d.availability);
    EXPECT_EQ(back->contract, d.contract);
    EXPECT_EQ(back->content_input, d.content_input);
  }
}

TEST(DescriptorJson, SchemasAreEnforcedAfterTheTrip) {
  for (const auto& d : door::survey(testing::notes_surface())) {
    if (d.action_id != "add-lines") continue;
    auto back = descriptor_from_json_text(descriptor_to_json(d).dump());
    ASSERT_TRUE(back);
    auto bound = ActionArgs::bind_json(back->parameters, {{"lines", {"a", "a"}}});
    ASSERT_FALSE(bound);
    EXPECT_EQ(bound.error().kind(), ArgError::Kind::Schema);
    return;
  }
  FAIL() << "no add-lines";
}

TEST(DescriptorJson, MinimalAndBadTexts) {
  auto minimal = descriptor_from_json_text(R"({"resource_id":"r","action_id":"a"})");
  ASSERT_TRUE(minimal) << minimal.error().display();
  EXPECT_EQ(minimal->operation_id(), "r#a");
  EXPECT_EQ(minimal->permission, Permission::Write);
  EXPECT_EQ(minimal->confirmation, Confirmation::none());

  const char* bad[] = {
      R"([])",
      R"({"action_id":"a"})",
      R"({"resource_id":"r","action_id":"a","resource_id":"s"})",
      R"({"resource_id":"r","action_id":7})",
      R"({"resource_id":"r","action_id":"a","risk":"Deadly"})",
      R"({"resource_id":"r","action_id":"a","confirmation":{"Phrase":{}}})",
      R"({"resource_id":"r","action_id":"a","confirmation":"Maybe"})",
      R"({"resource_id":"r","action_id":"a","execution":{"Background":{"cancellable":"yes"}}})",
      R"({"resource_id":"r","action_id":"a","result":{"Resource":{},"Job":{}}})",
      R"({"resource_id":"r","action_id":"a","parameters":[{"name":"x","type":"string"}]})",
      R"({"resource_id":"r","action_id":"a","parameters":[{"type":"text"}]})",
      R"({"resource_id":"r","action_id":"a","parameters":{}})",
      R"({"resource_id":"r","action_id":"a","content_input":{"description":"d"}})",
      R"({"resource_id":"r","action_id":"a","contract":{"capabilities":["x"]}})",
      R"({"resource_id":"r","action_id":"a","availability":{"reason":"x"}})",
  };
  for (const char* text : bad) EXPECT_FALSE(descriptor_from_json_text(text)) << text;
}

}  // namespace
}  // namespace pelto::actions
