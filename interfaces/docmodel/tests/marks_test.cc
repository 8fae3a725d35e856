// The JSON form of mark values and marked spans.
#include <gtest/gtest.h>

#include "interfaces/docmodel/marks.h"

namespace pelto::model {
namespace {

TEST(MarkJson, RoundTrips) {
  for (const auto& v : {MarkValue::Bool(true), MarkValue::Int(-42), MarkValue::Str("https://a.example")}) {
    auto back = MarkValue::from_json(nlohmann::json::parse(v.to_json().dump()));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, v);
  }
  MarkSpan span{3, 9, "bold", MarkValue::Bool(true)};
  EXPECT_EQ(span.to_json().dump(), R"({"start":3,"end":9,"name":"bold","value":{"Bool":true}})");
  auto back = MarkSpan::from_json(nlohmann::json::parse(span.to_json().dump()));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, span);
}

TEST(MarkJson, RefusesMalformedValues) {
  for (const char* bad : {R"("Bool")", R"({})", R"({"Bool":1})", R"({"Int":1.5})", R"({"Int":18446744073709551615})",
                          R"({"Str":3})", R"({"Float":1.0})", R"({"Bool":true,"Int":1})"})
    EXPECT_FALSE(MarkValue::from_json(nlohmann::json::parse(bad))) << bad;
  for (const char* bad : {R"({"start":-1,"end":2,"name":"b","value":{"Bool":true}})",
                          R"({"start":1,"name":"b","value":{"Bool":true}})",
                          R"({"start":1,"end":2,"name":5,"value":{"Bool":true}})",
                          R"({"start":1,"end":2,"name":"b"})", R"([1,2])"})
    EXPECT_FALSE(MarkSpan::from_json(nlohmann::json::parse(bad))) << bad;
}

TEST(MarkScalar, OnlyMarkValueScalarsConvert) {
  EXPECT_EQ(MarkValue::from_scalar(crdt::Scalar{uint64_t{7}}), MarkValue::Int(7));
  EXPECT_EQ(MarkValue::from_scalar(crdt::Scalar{~uint64_t{0}}), std::nullopt);
  EXPECT_EQ(MarkValue::from_scalar(crdt::Scalar{1.5}), std::nullopt);
  EXPECT_EQ(MarkValue::from_scalar(crdt::Scalar{crdt::Null{}}), std::nullopt);
  EXPECT_EQ(MarkValue::Str("x").to_scalar(), crdt::Scalar{std::string("x")});
}

}  // namespace
}  // namespace pelto::model
