#pragma once
// The markdown codec (CommonMark, read with cmark). Import appends blocks to the end of the body:
// headings ("heading", attribute "level"), paragraphs ("paragraph"), list items ("list_item",
// "ordered" true in ordered lists, "level" for nested lists), paragraphs of block quotes ("quote"),
// code blocks ("code", attribute "info" when given), thematic breaks ("rule"). Inline emphasis,
// strong emphasis, code and links become the marks "italic", "bold", "code" and "link" (the
// destination); a soft break reads as a blank, a hard break as "\n", an image as its description.
#include <string_view>

#include "interfaces/base/error.h"
#include "interfaces/docmodel/mutate.h"

namespace pelto::model {

class FormatProvider {
 public:
  // Gives how many blocks were written.
  static Result<size_t> import(std::string_view markdown, DocMut& mut);
};

}  // namespace pelto::model
