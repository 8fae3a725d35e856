// The word processor's resource tree on a large document: 1,000 paragraphs, 20 tables, 50 comments
// and 100 revisions, built and surveyed. Prints one JSON object of figures as its last line.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <unistd.h>

#include "apps/word_processor/surface.h"
#include "interfaces/actions/door.h"
#include "interfaces/docmodel/mutate.h"
#include "interfaces/docmodel/schema.h"

namespace {

using namespace pelto;

template <class T>
T must(Result<T> r, const char* what) {
  if (!r) {
    fmt::print(stderr, "wp-bench: {}: {}\n", what, r.error().display());
    std::exit(1);
  }
  return std::move(*r);
}
void must(Result<void> r, const char* what) {
  if (!r) {
    fmt::print(stderr, "wp-bench: {}: {}\n", what, r.error().display());
    std::exit(1);
  }
}

crdt::Document build() {
  auto doc = must(model::new_document(crdt::ActorId::from_string("wp-bench")), "new document");
  auto m = must(model::open(doc), "open");
  auto ids = model::seeded_id_gen(doc, m);
  model::DocMut mut(doc, m, ids);
  std::optional<std::string> last;
  std::vector<std::string> paragraphs;
  int revision = 0;
  auto commit = [&] { doc.commit({.message = fmt::format("edit {}", ++revision), .time_ms = revision}); };
  for (int i = 0; i < 1000; ++i) {
    std::string id = must(mut.insert_block(last, i % 50 == 0 ? "heading" : "paragraph"), "insert block");
    must(mut.splice_text(id, 0, 0, fmt::format("Paragraph {} with some ordinary words in it.", i)), "text");
    paragraphs.push_back(id);
    last = id;
    if (i % 50 == 49) {
      // A 3 x 3 table after every fiftieth paragraph.
      std::string table = ids.mint();
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
          std::string cell = must(mut.insert_block(last, "cell"), "cell");
          must(mut.set_attr_in(model::Region::Body, cell, "table", table), "table");
          must(mut.set_attr_in(model::Region::Body, cell, "row", int64_t{r}), "row");
          must(mut.set_attr_in(model::Region::Body, cell, "col", int64_t{c}), "col");
          last = cell;
        }
    }
    if (i % 10 == 9) commit();
  }
  for (int i = 0; i < 50; ++i) {
    std::string c = must(mut.insert_comment(fmt::format("Reviewer {}", i), "2026-01-01"), "comment");
    std::string b = must(mut.insert_comment_block(c, std::nullopt, "paragraph"), "comment block");
    must(mut.splice_comment_text(c, b, 0, 0, "Please look at this sentence again."), "comment text");
    must(mut.add_comment_mark(paragraphs[static_cast<size_t>(i) * 20], 0, 9, c), "anchor");
  }
  while (revision < 100) {
    must(mut.splice_text(paragraphs[static_cast<size_t>(revision)], 0, 0, "x"), "edit");
    commit();
  }
  return doc;
}

}  // namespace

int main() {
  std::string store = "/tmp/pelto-wp-bench-" + std::to_string(::getpid());
  ::setenv("XDG_DATA_HOME", store.c_str(), 1);
  crdt::Document doc = build();
  word_processor::ViewState view;
  view.caret_block = "none";
  std::vector<double> ms;
  size_t descriptors = 0, resources = 0;
  for (int run = 0; run < 15; ++run) {
    auto start = std::chrono::steady_clock::now();
    actions::Resource root = word_processor::resource_tree(doc, view);
    descriptors = actions::door::survey(root).size();
    auto end = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    resources = root.children.size();
  }
  std::sort(ms.begin(), ms.end());
  fmt::print("resource tree of 1000 paragraphs, 20 tables, 50 comments, 100 revisions: median {:.2f} ms, "
             "best {:.2f} ms ({} descriptors, {} top-level resources)\n",
             ms[ms.size() / 2], ms.front(), descriptors, resources);
  fmt::print("{{\"tree_ms\": {:.3f}, \"tree_best_ms\": {:.3f}, \"descriptors\": {}}}\n", ms[ms.size() / 2], ms.front(),
             descriptors);
  std::error_code ignored;
  std::filesystem::remove_all(store, ignored);
  return 0;
}
