#pragma once
// A real folio document for the word processor's tests, with helpers to write blocks and to read the
// result back through the document model.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "apps/word_processor/action.h"
#include "interfaces/crdt/document.h"
#include "interfaces/docmodel/mutate.h"
#include "interfaces/docmodel/read.h"
#include "interfaces/docmodel/schema.h"

namespace pelto::word_processor::testing {

// Images the tests store go to a blob store of their own, not the user's.
inline const bool kPrivateBlobStore = [] {
  std::string dir = "/tmp/pelto-wp-tests-" + std::to_string(::getpid());
  ::setenv("XDG_DATA_HOME", dir.c_str(), 1);
  return true;
}();

class TestDoc {
 public:
  TestDoc() : doc_(must(model::new_document(crdt::ActorId::from_string("wp-test")))), model_(must(model::open(doc_))),
              ids_(model::seeded_id_gen(doc_, model_)) {}

  crdt::Document& doc() { return doc_; }
  model::Model& model() { return model_; }

  // Appends a block to a region (after the last one written there) and gives its id.
  std::string add(std::string_view kind, std::string_view text, Region region = Region::Body) {
    model::DocMut mut = mutation();
    auto order = model::blocks_in_order_in(doc_, model_, region);
    std::optional<std::string_view> after;
    if (!order.empty()) after = order.back();
    std::string id = must(mut.insert_block_in(region, after, kind));
    if (!text.empty()) must_ok(mut.splice_text_in(region, id, 0, 0, text));
    return id;
  }
  void attr(std::string_view block, std::string_view key, crdt::Scalar value, Region region = Region::Body) {
    model::DocMut mut = mutation();
    must_ok(mut.set_attr_in(region, block, key, std::move(value)));
  }
  // A table of rows x cols cells after the last body block; gives the table id.
  std::string table(int64_t rows, int64_t cols, std::string id = "t1") {
    for (int64_t r = 0; r < rows; ++r)
      for (int64_t c = 0; c < cols; ++c) {
        std::string cell = add("cell", "");
        attr(cell, "table", id);
        attr(cell, "row", r);
        attr(cell, "col", c);
      }
    return id;
  }
  std::string comment(std::string_view block, size_t start, size_t end, std::string_view author,
                      std::string_view text) {
    model::DocMut mut = mutation();
    std::string id = must(mut.insert_comment(author, "2026-01-01"));
    std::string first = must(mut.insert_comment_block(id, std::nullopt, "paragraph"));
    must_ok(mut.splice_comment_text(id, first, 0, 0, text));
    must_ok(mut.add_comment_mark(block, start, end, id));
    return id;
  }
  std::string reply(std::string_view comment, std::string_view author, std::string_view text) {
    model::DocMut mut = mutation();
    return must(mut.add_comment_reply(comment, author, "2026-01-02", text));
  }
  std::string insertion(std::string_view block, size_t at, std::string_view text, std::string_view author = "Ana") {
    model::DocMut mut = mutation();
    return must(mut.insert_tracked(block, at, text, author, "2026-01-03"));
  }
  void style(std::string_view id, const model::Attrs& props) {
    model::DocMut mut = mutation();
    must_ok(mut.set_style(id, props));
  }
  void commit() { doc_.commit({.message = std::nullopt, .time_ms = 1}); }

  // Read through a freshly opened model: the executor may have created containers since.
  model::Snapshot snap() const { return model::materialize(doc_, must(model::open(doc_))); }
  const model::Block& block(std::string_view id, Region region = Region::Body) const {
    snap_ = snap();
    const model::Block* b = snap_.region(region).find(id);
    if (!b) throw std::runtime_error("no block " + std::string(id));
    return *b;
  }
  std::vector<std::string> texts(Region region = Region::Body) const {
    std::vector<std::string> out;
    auto s = snap();
    for (const auto& b : s.region(region).blocks) out.push_back(b.text);
    return out;
  }

  model::DocMut mutation() {
    model_ = must(model::open(doc_));
    return model::DocMut(doc_, model_, ids_);
  }

  template <class T>
  static T must(Result<T> r) {
    if (!r) throw std::runtime_error(r.error().display());
    return std::move(*r);
  }
  static void must_ok(Result<void> r) {
    if (!r) throw std::runtime_error(r.error().display());
  }

 private:
  crdt::Document doc_;
  model::Model model_;
  model::IdGen ids_;
  mutable model::Snapshot snap_;
};

}  // namespace pelto::word_processor::testing
