#include "interfaces/ui/i18n.h"

#include <gtest/gtest.h>

namespace pelto::ui {
namespace {

I18nManager english() {
  I18nManager strings;
  EXPECT_TRUE(strings.init("en-US"));
  return strings;
}

TEST(I18nTest, ReadsEntriesSkippingCommentsAndBlankLines) {
  I18nManager strings = english();
  auto added = strings.add_resource(
      "# photos timeline\n"
      "photos-timeline = Timeline\n"
      "\n"
      "   \t\n"
      "  # indented comment\n"
      "photos-photographs=photographs\r\n"
      "photos-crop-noop = Zoom in first — cropping to the whole photograph would change nothing\n"
      "equation = a = b\n"
      "empty =\n"
      "photos-timeline-day-description = Jump to this recorded capture day in the timeline.");
  ASSERT_TRUE(added) << added.error().display();
  EXPECT_EQ(*added, 6u);
  EXPECT_EQ(strings.lookup("photos-timeline"), "Timeline");
  EXPECT_EQ(strings.lookup("photos-photographs"), "photographs");
  EXPECT_EQ(strings.lookup("photos-crop-noop"),
            "Zoom in first — cropping to the whole photograph would change nothing");
  EXPECT_EQ(strings.lookup("equation"), "a = b");
  EXPECT_EQ(strings.lookup("empty"), "");
  EXPECT_EQ(strings.lookup("photos-timeline-day-description"),
            "Jump to this recorded capture day in the timeline.");
  EXPECT_EQ(strings.lookup("photos-open-timeline"), std::nullopt);
  EXPECT_EQ(strings.lookup("# photos timeline"), std::nullopt);
}

struct MalformedCase {
  std::string resource;
  std::string error;
};

TEST(I18nTest, MalformedResourceIsReportedByLineAndAddsNothing) {
  const MalformedCase cases[] = {
      {"a = 1\njust words\n", "line 2 is not \"key = value\": just words"},
      {"a = 1\n\n# c\n = orphan\n", "line 4 has no valid key: = orphan"},
      {"two words = x\n", "line 1 has no valid key: two words = x"},
      {"a = 1\nb = 2\na = 3\n", "line 3 repeats the key \"a\""},
      {std::string(200, 'k') + " = long key", "line 1 has no valid key: " + std::string(80, 'k') + "…"},
  };
  for (const auto& c : cases) {
    I18nManager strings = english();
    ASSERT_TRUE(strings.add_resource("kept = yes"));
    auto added = strings.add_resource(c.resource);
    ASSERT_FALSE(added) << c.resource;
    EXPECT_EQ(added.error().message(), c.error);
    EXPECT_EQ(strings.size(), 1u);
    EXPECT_EQ(strings.lookup("kept"), "yes");
    EXPECT_EQ(strings.lookup("a"), std::nullopt);
  }
}

TEST(I18nTest, LaterResourceReplacesRepeatedKeys) {
  I18nManager strings = english();
  ASSERT_TRUE(strings.add_resource("title = Timeline\nother = Other"));
  ASSERT_TRUE(strings.add_resource("title = Aikajana"));
  EXPECT_EQ(strings.lookup("title"), "Aikajana");
  EXPECT_EQ(strings.lookup("other"), "Other");
}

TEST(I18nTest, LocaleMustBeSetAndWellFormed) {
  I18nManager strings;
  EXPECT_FALSE(strings.add_resource("a = b"));
  for (const char* bad : {"", "-US", "en-", "en US", "en--US", "en/US"}) {
    EXPECT_FALSE(strings.init(bad)) << bad;
  }
  ASSERT_TRUE(strings.init("fi_FI"));
  ASSERT_TRUE(strings.add_resource("a = b"));
  ASSERT_TRUE(strings.init("en-US"));
  EXPECT_EQ(strings.lookup("a"), std::nullopt);  // one locale at a time
  EXPECT_EQ(strings.locale(), "en-US");
}

}  // namespace
}  // namespace pelto::ui
