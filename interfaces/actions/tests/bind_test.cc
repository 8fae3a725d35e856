// Binding an argument object against declared parameters, and reading what was bound.
#include <gtest/gtest.h>

#include "interfaces/actions/args.h"
#include "interfaces/actions/door.h"
#include "interfaces/actions/tests/test_surface.h"

namespace pelto::actions {
namespace {

using json = nlohmann::json;

std::vector<ActionParam> add_lines_params() {
  for (const auto& d : door::survey(testing::notes_surface())) {
    if (d.action_id == "add-lines") return d.parameters;
  }
  return {};
}

TEST(Bind, RefusalsNameTheParameterAndTheFault) {
  struct Case {
    const char* what;
    json args;
    ArgError::Kind kind;
    std::string display;
  };
  const Case cases[] = {
      {"not an object", json::array(), ArgError::Kind::NotAnObject, "the arguments must be a JSON object, not an array"},
      {"missing required", json::object(), ArgError::Kind::Missing, "the required argument `lines` is missing"},
      {"null required counts as missing", {{"lines", nullptr}}, ArgError::Kind::Missing,
       "the required argument `lines` is missing"},
      {"wrong type", {{"lines", "a"}}, ArgError::Kind::WrongType, "the argument `lines` must be an array, not a text"},
      {"integer given as text", {{"lines", {"a"}}, {"repeat", "2"}}, ArgError::Kind::WrongType,
       "the argument `repeat` must be an integer, not a text"},
      {"integer given as fraction", {{"lines", {"a"}}, {"repeat", 1.5}}, ArgError::Kind::WrongType,
       "the argument `repeat` must be an integer, not a number"},
      {"boolean given as text", {{"lines", {"a"}}, {"urgent", "true"}}, ArgError::Kind::WrongType,
       "the argument `urgent` must be a boolean, not a text"},
      {"unknown key", {{"lines", {"a"}}, {"color", "red"}}, ArgError::Kind::Unknown,
       "`color` is not an argument of this action"},
      {"not one of the choices", {{"lines", {"a"}}, {"colour", "green"}}, ArgError::Kind::NotAChoice,
       "the argument `colour` must be one of \"red\", \"blue\""},
      {"pattern", {{"lines", {"a"}}, {"tag", "Work"}}, ArgError::Kind::Schema,
       "the argument `tag` is not acceptable: failed to match regex specified by 'pattern' constraint"},
      {"too few items", {{"lines", json::array()}}, ArgError::Kind::Schema,
       "the argument `lines` is not acceptable: array should contain no fewer than 1 elements"},
      {"too many items", {{"lines", {"a", "b", "c", "d"}}}, ArgError::Kind::Schema,
       "the argument `lines` is not acceptable: array should contain no more than 3 elements"},
      {"repeated items", {{"lines", {"a", "b", "a"}}}, ArgError::Kind::Schema,
       "the argument `lines` is not acceptable: elements at indexes #0 and #2 violate uniqueness constraint"},
      {"item of another type", {{"lines", {"a", 2}}}, ArgError::Kind::Schema,
       "the argument `lines` is not acceptable: value type not permitted by 'type' constraint at [1]"},
      {"item too short", {{"lines", {""}}}, ArgError::Kind::Schema,
       "the argument `lines` is not acceptable: string should be no fewer than 1 characters in length at [0]"},
      {"item too long", {{"lines", {std::string(21, 'x')}}}, ArgError::Kind::Schema,
       "the argument `lines` is not acceptable: string should be no more than 20 characters in length at [0]"},
      {"below minimum", {{"lines", {"a"}}, {"repeat", 0}}, ArgError::Kind::Schema,
       "the argument `repeat` is not acceptable: expected number greater than or equal to 1.000000"},
      {"above maximum", {{"lines", {"a"}}, {"repeat", 4}}, ArgError::Kind::Schema,
       "the argument `repeat` is not acceptable: expected number less than or equal to 3.000000"},
  };
  const auto params = add_lines_params();
  ASSERT_EQ(params.size(), 5u);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto bound = ActionArgs::bind_json(params, c.args);
    ASSERT_FALSE(bound);
    EXPECT_EQ(bound.error().kind(), c.kind);
    EXPECT_EQ(bound.error().display(), c.display);
  }
}

TEST(Bind, AcceptedValuesReadBackByType) {
  auto bound = ActionArgs::bind_json(
      add_lines_params(), {{"lines", {"a", "b"}}, {"tag", "work"}, {"repeat", 2}, {"urgent", true}, {"colour", nullptr}});
  ASSERT_TRUE(bound) << bound.error().display();
  EXPECT_EQ(bound->texts("lines"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(bound->array("lines"), json({"a", "b"}));
  EXPECT_EQ(bound->text("tag"), "work");
  EXPECT_EQ(bound->integer("repeat"), 2);
  EXPECT_EQ(bound->number("repeat"), 2.0);
  EXPECT_EQ(bound->boolean("urgent"), true);
  // Absent, null and other-typed arguments read as nothing.
  EXPECT_EQ(bound->text("colour"), std::nullopt);
  EXPECT_EQ(bound->text("nowhere"), std::nullopt);
  EXPECT_EQ(bound->text("repeat"), std::nullopt);
  EXPECT_EQ(bound->boolean("tag"), std::nullopt);
  EXPECT_EQ(bound->array("tag"), std::nullopt);
}

TEST(Bind, TypesOfTheNineWords) {
  struct Case {
    ParamType type;
    json good;
    json bad;
  };
  const Case cases[] = {
      {ParamType::Text, "x", 1},
      {ParamType::Integer, -3, 2.5},
      {ParamType::Number, 2.5, "2.5"},
      {ParamType::Boolean, false, 0},
      {ParamType::Object, json::object(), json::array()},
      {ParamType::Array, json::array(), json::object()},
      {ParamType::Resource, "chat.channel:c1", ""},
      {ParamType::Datetime, "2024-02-29T10:00:00Z", "2023-02-29"},
      {ParamType::Datetime, "2026-12-11", "11 December 2026"},
      {ParamType::Secret, "hunter2", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(type_word(c.type)));
    std::vector<ActionParam> params = {ActionParam::of("v", c.type, "value", true)};
    EXPECT_TRUE(ActionArgs::bind_json(params, {{"v", c.good}}));
    auto bad = ActionArgs::bind_json(params, {{"v", c.bad}});
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().kind(), ArgError::Kind::WrongType);
  }
}

TEST(Bind, ABrokenSchemaRefusesEveryValue) {
  std::vector<ActionParam> params = {
      ActionParam::text("region", "a region", true).with_schema({{"type", "string"}, {"minLength", "four"}})};
  auto bound = ActionArgs::bind_json(params, {{"region", "anything"}});
  ASSERT_FALSE(bound);
  EXPECT_EQ(bound.error().kind(), ArgError::Kind::Schema);
  EXPECT_TRUE(bound.error().display().starts_with("the argument `region` is not acceptable: its schema is not usable"))
      << bound.error().display();
}

TEST(Bind, TextsTooLongForThePatternMatcherAreRefusedNotMatched) {
  std::vector<ActionParam> params = {
      ActionParam::text("tag", "a tag", true).with_schema({{"type", "string"}, {"pattern", "^[a-z]+$"}}),
      ActionParam::text("free", "any text", false).with_schema({{"type", "string"}, {"maxLength", 1000000}})};
  EXPECT_TRUE(ActionArgs::bind_json(params, {{"tag", std::string(kMaxPatternText, 'a')}}));
  // The regular-expression matcher recurses per character; a text this long would crash it.
  auto long_tag = ActionArgs::bind_json(params, {{"tag", std::string(200000, 'a')}});
  ASSERT_FALSE(long_tag);
  EXPECT_EQ(long_tag.error().display(),
            "the argument `tag` is not acceptable: a text of 200000 bytes is too long to be checked against its "
            "pattern (at most 4096)");
  // Schemas without patterns take long texts.
  EXPECT_TRUE(ActionArgs::bind_json(params, {{"tag", "a"}, {"free", std::string(200000, 'a')}}));
  std::vector<ActionParam> when = {ActionParam::of("when", ParamType::Datetime, "when", true)};
  EXPECT_FALSE(ActionArgs::bind_json(when, {{"when", "2026-12-11" + std::string(200000, '0')}}));
}

TEST(Bind, NoParametersAcceptsOnlyTheEmptyObject) {
  EXPECT_TRUE(ActionArgs::bind_json({}, json::object()));
  auto extra = ActionArgs::bind_json({}, {{"confirm", true}});
  ASSERT_FALSE(extra);
  EXPECT_EQ(extra.error().display(), "`confirm` is not an argument of this action");
}

}  // namespace
}  // namespace pelto::actions
