// The JSON form of word-processor actions: one sample per variant round-trips, the tagging is the
// external form, optional fields read absent and null alike, and malformed payloads are refused
// with a message naming the field.
#include <gtest/gtest.h>

#include "apps/word_processor/action.h"

namespace pelto::word_processor {
namespace {

using nlohmann::json;

std::vector<WordProcessorAction> one_of_each() {
  return {
      act::SpliceText{Region::Header, "b1", 1, 2, "héllo"},
      act::ReplaceSelection{Region::Body, "b1", 0, "b2", 3, "x"},
      act::SetMark{Region::Body, {{"b1", 0, 2}}, "bold", MarkValue::Bool(true), {"italic"}},
      act::SetParagraphStyle{Region::Footer, {"b1"}, "heading", 2, std::nullopt},
      act::ApplyNamedStyle{Region::Body, {"b1", "b2"}, "quote", "quote", std::nullopt, true},
      act::SetBlockAttr{Region::Body, {"b1"}, "indent", AttrValue::Float(1.5)},
      act::SetPageMargins{72.0, 72.5, 4.0, 10000.0},
      act::SetStyleProperty{"custom", "color", AttrValue::Str("#00ff00")},
      act::DeleteStyle{"custom", {"b3"}},
      act::SetImageCrop{"img", 250, 0, 9000, -1},
      act::SetImageSize{"img", 640, 480},
      act::SetImagePlacement{"img", "page", "none", -5, 6, 0},
      act::InsertTable{"b1", 2, 3},
      act::EditTable{"t1", TableEdit{table_edit::DeleteColumn{1}}},
      act::InsertImage{"b1", 2, {0, 127, 255}, 10, std::nullopt},
      act::InsertPageBreak{Region::Body, "b1", 0},
      act::SplitBlock{Region::Header, "b1", 1, "list_item", false},
      act::InsertField{Region::Footer, "f1", 0, "page-number"},
      act::GenerateToc{{{"h1", 1, "Intro", 7}, {"h2", 3, "Deep", std::nullopt}}},
      act::PasteFragment{Region::Body,
                         "b1",
                         1,
                         "b1",
                         1,
                         {{"paragraph", "ab", {{0, 1, "link", MarkValue::Str("#top")}}, 2, true, "center"},
                          {"list_item", "", {}, std::nullopt, std::nullopt, std::nullopt}},
                         true},
      act::InsertParagraph{"b1", "new"},
      act::RemoveBlocks{{"b1", "b2"}},
      act::ReplaceBody{"# Title\n\ntext"},
      act::AcceptChanges{std::nullopt},
      act::RejectChanges{"c1"},
      act::ResolveComment{"k1"},
      act::AddComment{"b1", 0, 3, "Ana", "2026-01-01", "Looks good"},
      act::ReplyToComment{"k1", "Ben", "2026-01-02", "Thanks"},
  };
}

TEST(ActionJson, EveryVariantRoundTripsUnderItsOwnName) {
  auto samples = one_of_each();
  auto names = variant_names();
  ASSERT_EQ(samples.size(), 28u);
  ASSERT_EQ(names.size(), 28u);
  for (size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(samples[i].index(), i);
    EXPECT_EQ(variant_name(samples[i]), names[i]);
    auto j = to_json(samples[i]);
    ASSERT_TRUE(j.is_object());
    ASSERT_EQ(j.size(), 1u);
    EXPECT_EQ(j.begin().key(), names[i]);
    auto back = action_from_json_text(j.dump());
    ASSERT_TRUE(back) << back.error().display();
    EXPECT_EQ(*back, samples[i]);
  }
}

TEST(ActionJson, BoldMarkHasTheExternallyTaggedShape) {
  auto j = to_json(act::SetMark{Region::Body, {{"b1", 0, 4}}, "bold", MarkValue::Bool(true), {}});
  EXPECT_EQ(j.dump(),
            R"({"SetMark":{"region":"Body","spans":[{"block":"b1","start":0,"end":4}],"name":"bold",)"
            R"("value":{"Bool":true},"also_clear":[]}})");
}

TEST(ActionJson, FieldlessVariantsAreBareNames) {
  auto j = to_json(act::EditTable{"t1", TableEdit{table_edit::Delete{}}});
  EXPECT_EQ(j.dump(), R"({"EditTable":{"table":"t1","edit":"Delete"}})");
  EXPECT_EQ(to_json(act::InsertPageBreak{Region::Footer, "b", 0})["InsertPageBreak"]["region"], "Footer");
  EXPECT_EQ(to_json(act::EditTable{"t", TableEdit{table_edit::InsertRow{2}}}).dump(),
            R"({"EditTable":{"table":"t","edit":{"InsertRow":{"at":2}}}})");
}

TEST(ActionJson, AbsentAndNullOptionalsBothMeanNone) {
  for (const char* text : {R"({"AcceptChanges":{}})", R"({"AcceptChanges":{"id":null}})"}) {
    auto a = action_from_json_text(text);
    ASSERT_TRUE(a) << a.error().display();
    EXPECT_EQ(std::get<act::AcceptChanges>(*a).id, std::nullopt) << text;
  }
  auto clear = action_from_json_text(
      R"({"SetMark":{"region":"Body","spans":[{"block":"b","start":0,"end":1}],"name":"link","also_clear":[]}})");
  ASSERT_TRUE(clear) << clear.error().display();
  EXPECT_EQ(std::get<act::SetMark>(*clear).value, std::nullopt);
  auto extra = action_from_json_text(R"({"ResolveComment":{"id":"k","note":"ignored"}})");
  ASSERT_TRUE(extra);
}

TEST(ActionJson, MalformedPayloadsAreRefusedWithTheField) {
  struct Case {
    const char* json;
    const char* mentions;
  };
  const Case cases[] = {
      {R"(not json)", "not valid JSON"},
      {R"({"Nope":{}})", "unknown variant \"Nope\""},
      {R"("SpliceText")", "needs its fields"},
      {R"({"ResolveComment":{"id":"a"},"AddComment":{}})", "one key"},
      {R"({"SpliceText":{"region":"Body","block":"b","at":0,"ins":""}})", "SpliceText.del: missing"},
      {R"({"SpliceText":{"region":"Body","block":"b","at":-1,"del":0,"ins":""}})", "SpliceText.at"},
      {R"({"SpliceText":{"region":"Body","block":"b","at":1.5,"del":0,"ins":""}})", "SpliceText.at"},
      {R"({"SpliceText":{"region":"body","block":"b","at":0,"del":0,"ins":""}})", "SpliceText.region"},
      {R"({"SetImageSize":{"block":"i","width":18446744073709551615,"height":1}})", "SetImageSize.width"},
      {R"({"InsertImage":{"block":"b","at":0,"bytes":[1,256]}})", "InsertImage.bytes"},
      {R"({"SetBlockAttr":{"region":"Body","blocks":[],"key":"k","value":{"Float":"x"}}})", "Float"},
      {R"({"SetBlockAttr":{"region":"Body","blocks":[],"key":"k","value":{"Double":1}}})", "unknown variant"},
      {R"({"EditTable":{"table":"t","edit":{"Delete":{"x":1}}}})", "has no fields"},
      {R"({"EditTable":{"table":"t","edit":"Explode"}})", "unknown variant \"Explode\""},
  };
  for (const auto& c : cases) {
    auto a = action_from_json_text(c.json);
    ASSERT_FALSE(a) << c.json;
    EXPECT_NE(a.error().display().find(c.mentions), std::string::npos) << c.json << " -> " << a.error().display();
  }
}

TEST(ActionJson, FloatFieldsTakeIntegersAndSignedFieldsTakeNegatives) {
  auto m = action_from_json_text(R"({"SetPageMargins":{"top":72,"right":72.5,"bottom":4,"left":10000}})");
  ASSERT_TRUE(m) << m.error().display();
  EXPECT_EQ(std::get<act::SetPageMargins>(*m).top, 72.0);
  auto p = action_from_json_text(
      R"({"SetImagePlacement":{"block":"i","anchor":"page","wrap":"none","x":-100000,"y":0,"page":0}})");
  ASSERT_TRUE(p) << p.error().display();
  EXPECT_EQ(std::get<act::SetImagePlacement>(*p).x, -100000);
}

}  // namespace
}  // namespace pelto::word_processor
