#include "apps/agent/session/instruction.h"

#include <vector>

#include <gtest/gtest.h>

namespace pelto::agent {
namespace {

TEST(AddressedRequest, NameColonInAnyCaseAndSpacing) {
  struct Case {
    const char* text;
    std::optional<std::string> request;
  } cases[] = {
      {"Vesk: turn the bullets into a table", "turn the bullets into a table"},
      {"  vesk:turn the bullets into a table", "turn the bullets into a table"},
      {"VESK: Turn the bullets into a table", "turn the bullets into a table"},
      {"Vesk:", ""},
      {"\u00A0Vesk:   \t", ""},
      {"Vesk turn the bullets into a table", std::nullopt},
      {"Hey Vesk: please help", std::nullopt},
      {"Veskx: no", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(addressed_request(c.text, "Vesk"), c.request) << c.text;
  EXPECT_EQ(addressed_request("ÅSA: hej", "Åsa"), "hej");
}

TEST(FindInstruction, OnlyParagraphsAndTheFirstMatch) {
  std::vector<BlockView> blocks = {
      {"h1", "heading", "Vesk: add a caption"},
      {"l1", "list_item", "Vesk: add a caption"},
      {"p1", "paragraph", "Intro"},
      {"p2", "paragraph", "Vesk: I can't \"fly\"."},
      {"p3", "paragraph", "Vesk: make a table"},
  };
  auto found = find_instruction(blocks, "Vesk");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->block_id, "p2");
  EXPECT_EQ(found->text, "Vesk: I can't \"fly\".");
  EXPECT_EQ(found->request, "i can't \"fly\".");

  blocks.erase(blocks.begin() + 3);
  EXPECT_EQ(find_instruction(blocks, "Vesk")->block_id, "p3");
  blocks.pop_back();
  EXPECT_FALSE(find_instruction(blocks, "Vesk"));
}

}  // namespace
}  // namespace pelto::agent
