#include "interfaces/base/error.h"

#include <gtest/gtest.h>

namespace pelto {
namespace {

Result<int> parse_port(bool ok) {
  if (!ok) return fail("connection refused");
  return 7;
}

Result<int> connect(bool ok) {
  PELTO_TRY(int port, parse_port(ok), "start typed collaboration client");
  return port + 1;
}

TEST(ErrorDisplay, MessageThenEachContextOnItsOwnLine) {
  auto r = with_context(connect(false), "open the room");
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().message(), "connection refused");
  EXPECT_EQ(r.error().display(), "connection refused\nstart typed collaboration client\nopen the room");
  EXPECT_EQ(fmt::format("{}", r.error()), r.error().display());
}

TEST(ErrorDisplay, SuccessPassesThroughContext) {
  auto r = with_context(connect(true), "open the room");
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, 8);
}

TEST(ErrorDisplay, BareMessageHasNoTrailingLines) {
  EXPECT_EQ(Error("boom").display(), "boom");
  const Error base("boom");
  Error more = base.context("while testing");
  EXPECT_EQ(base.display(), "boom");
  EXPECT_EQ(more.display(), "boom\nwhile testing");
}

}  // namespace
}  // namespace pelto
