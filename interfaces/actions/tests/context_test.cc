// Decoding the action context from JSON text, with every rule of its form.
#include <gtest/gtest.h>

#include "interfaces/actions/context.h"
#include "interfaces/actions/strict_json.h"

namespace pelto::actions {
namespace {

TEST(ActionContextJson, DecodingTable) {
  struct Case {
    const char* what;
    const char* text;
    std::optional<ActionContext> want;  // nothing: an error
  };
  const ActionContext empty;
  ActionContext full;
  full.action_label = "Agent task";
  full.app = ActionApp{"word-processor", "Agent"};
  full.resource = ActionResource{"doc-1", "document", "Doc"};
  full.purpose = "tidy";
  full.group = ActionGroup{"agent-run:b1", "make a table", "agent-run"};
  full.facets = {{"assigned-by", "ann"}};
  ActionContext app_only;
  app_only.app = ActionApp{"a", "A"};
  ActionContext label_only;
  label_only.action_label = "x";
  const Case cases[] = {
      {"empty object", "{}", empty},
      {"null purpose is no purpose", R"({"purpose": null})", empty},
      {"null records are absent", R"({"app": null, "resource": null, "group": null})", empty},
      {"every key", R"({"action_label":"Agent task","app":{"id":"word-processor","label":"Agent"},
          "resource":{"id":"doc-1","kind":"document","label":"Doc"},"purpose":"tidy",
          "group":{"id":"agent-run:b1","label":"make a table","kind":"agent-run"},
          "facets":[{"key":"assigned-by","value":"ann"}]})",
       full},
      {"records as arrays", R"({"action_label":"Agent task","app":["word-processor","Agent"],
          "resource":["doc-1","document","Doc"],"purpose":"tidy",
          "group":["agent-run:b1","make a table","agent-run"],"facets":[["assigned-by","ann"]]})",
       full},
      {"other keys are ignored", R"({"action_label":"x","extra":[1,2],"app":null})", label_only},
      {"other record keys are ignored", R"({"app":{"id":"a","label":"A","icon":"x"}})", app_only},
      {"app without label", R"({"app":{"id":"a"}})", std::nullopt},
      {"app label not a text", R"({"app":{"id":"a","label":null}})", std::nullopt},
      {"duplicated context key", R"({"action_label":"x","action_label":"y"})", std::nullopt},
      {"duplicated ignored key", R"({"extra":1,"extra":2})", std::nullopt},
      {"duplicated record key", R"({"app":{"id":"a","label":"A","id":"b"}})", std::nullopt},
      {"duplicated facet key", R"({"facets":[{"key":"k","value":"v","value":"w"}]})", std::nullopt},
      {"array record too short", R"({"resource":["doc-1","document"]})", std::nullopt},
      {"array record too long", R"({"app":["a","A","surplus"]})", std::nullopt},
      {"array facet too short", R"({"facets":[["k"]]})", std::nullopt},
      {"array value not a text", R"({"group":["g",1,"k"]})", std::nullopt},
      {"record of another kind", R"({"app":"a"})", std::nullopt},
      {"action label null", R"({"action_label":null})", std::nullopt},
      {"purpose not a text", R"({"purpose":3})", std::nullopt},
      {"facets not an array", R"({"facets":{"key":"k","value":"v"}})", std::nullopt},
      {"facets null", R"({"facets":null})", std::nullopt},
      {"not an object", R"(["Agent task"])", std::nullopt},
      {"not JSON", R"({"action_label":)", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto got = ActionContext::from_json_text(c.text);
    if (c.want) {
      ASSERT_TRUE(got) << got.error().display();
      EXPECT_EQ(*got, *c.want);
    } else {
      EXPECT_FALSE(got);
    }
  }
}

TEST(ActionContextJson, ErrorsSayWhatIsWrong) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {R"({"app":{"id":"a"}})", "the action context's app lacks \"label\""},
      {R"({"app":["a","A","x"]})", "the action context's app has 3 values, more than its 2 (id, label)"},
      {R"({"resource":["a"]})", "the action context's resource has 1 values, fewer than its 3 (id, kind, label)"},
      {R"({"facets":[{"key":"k","value":"v"},{"key":"k"}]})", "the action context's facet 2 lacks \"value\""},
      {R"({"group":{"id":"g","id":"h","label":"l","kind":"k"}})", "the key \"id\" is given twice in one object"},
  };
  for (const auto& c : cases) {
    auto got = ActionContext::from_json_text(c.text);
    ASSERT_FALSE(got) << c.text;
    EXPECT_EQ(got.error().message(), c.message);
  }
}

TEST(ActionContextJson, RoundTripsInDeclarationOrder) {
  ActionContext c;
  c.action_label = "Agent task";
  c.resource = ActionResource{"r", "document", "R"};
  c = c.with_facet({"assigned-by", "ann"}).with_facet({"k", "v"});
  auto j = c.to_json();
  EXPECT_EQ(j.dump(),
            R"({"action_label":"Agent task","app":null,"resource":{"id":"r","kind":"document","label":"R"},)"
            R"("purpose":null,"group":null,"facets":[{"key":"assigned-by","value":"ann"},{"key":"k","value":"v"}]})");
  auto back = ActionContext::from_json_text(j.dump());
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, c);
}

TEST(ActionContextJson, ChangeMessageAndNonempty) {
  ActionContext c;
  EXPECT_EQ(c.change_message(), std::nullopt);
  c.action_label = "   ";
  EXPECT_EQ(c.change_message(), std::nullopt);
  c.action_label = " Agent task ";
  EXPECT_EQ(c.change_message(), "Agent task");

  EXPECT_EQ(context::nonempty(""), std::nullopt);
  EXPECT_EQ(context::nonempty(" \t\n"), std::nullopt);
  EXPECT_EQ(context::nonempty("tidy up"), "tidy up");
}

TEST(StrictJson, RefusesRepeatedKeysAtAnyDepthAndRunawayNesting) {
  EXPECT_TRUE(parse_json_strict(R"({"a":{"b":1},"c":[{"b":1},{"b":2}]})"));
  EXPECT_FALSE(parse_json_strict(R"({"a":[{"x":{"y":1,"y":1}}]})"));
  EXPECT_FALSE(parse_json_strict(std::string(200, '[') + std::string(200, ']')));
  EXPECT_TRUE(parse_json_strict(std::string(100, '[') + std::string(100, ']')));
  auto kept = parse_json_strict(R"({"z":1,"a":2})");
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->dump(), R"({"z":1,"a":2})");
}

}  // namespace
}  // namespace pelto::actions
