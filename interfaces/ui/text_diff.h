#pragma once
// Replacing a whole text object's content with the smallest single edit.
//
// splice_text_diffed keeps the characters (Unicode scalar values) that the old and new texts share at
// their start and at their end, and replaces only what lies between with one splice, so marks and
// concurrent edits outside the changed stretch survive a merge. An equal text writes nothing. The
// write goes into the document's pending change; committing it is the caller's.
#include <string_view>

#include "interfaces/base/error.h"
#include "interfaces/crdt/document.h"

namespace pelto::ui::doc {

// The splice that turns `before` into `after`, in characters: at `at`, delete `remove`, insert the
// bytes after[insert_begin, insert_end). Both texts must be valid UTF-8.
struct TextSplice {
  size_t at = 0;
  size_t remove = 0;
  size_t insert_begin = 0;
  size_t insert_end = 0;
  bool empty() const { return remove == 0 && insert_begin == insert_end; }
};
TextSplice diff_texts(std::string_view before, std::string_view after);

// Fails without writing when `text` is not a text object of `doc` or `new_text` is not UTF-8.
Result<void> splice_text_diffed(crdt::Document& doc, const crdt::ObjId& text, std::string_view new_text);

}  // namespace pelto::ui::doc
