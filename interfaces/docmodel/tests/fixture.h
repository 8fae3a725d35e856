#pragma once
// A fresh folio document with its model, id generator and mutation handle, and a blob store of its
// own under a temporary XDG_DATA_HOME.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "interfaces/crdt/document.h"
#include "interfaces/docmodel/ids.h"
#include "interfaces/docmodel/mutate.h"
#include "interfaces/docmodel/read.h"
#include "interfaces/docmodel/schema.h"

namespace pelto::model::testing {

inline std::filesystem::path temp_dir(std::string_view name) {
  auto dir = std::filesystem::temp_directory_path() /
             (std::string(name) + "-" + std::to_string(::getpid()) + "-" + std::to_string(std::rand()));
  std::filesystem::create_directories(dir);
  return dir;
}

struct Fresh {
  crdt::Document doc;
  Model model;
  IdGen ids;
  DocMut mut;

  explicit Fresh(std::string_view actor = "alice")
      : doc(make(actor)), model(*open(doc)), ids(seeded_id_gen(doc, model)), mut(doc, model, ids) {}

  static crdt::Document make(std::string_view actor) {
    auto d = new_document(crdt::ActorId::from_string(actor));
    EXPECT_TRUE(d.has_value()) << (d ? "" : d.error().display());
    return std::move(*d);
  }

  Snapshot snap() const { return materialize(doc, model); }

  // A body paragraph with text after `after` (none: first).
  std::string para(std::string_view text, std::optional<std::string_view> after = std::nullopt,
                   Region region = Region::Body) {
    auto id = mut.insert_block_in(region, after, "paragraph");
    EXPECT_TRUE(id.has_value()) << (id ? "" : id.error().display());
    if (!text.empty()) {
      auto r = mut.splice_text_in(region, *id, 0, 0, text);
      EXPECT_TRUE(r.has_value()) << (r ? "" : r.error().display());
    }
    return *id;
  }
};

// Each test binary keeps its blob store in a directory of its own.
class BlobHome : public ::testing::Environment {
 public:
  void SetUp() override {
    dir_ = temp_dir("docmodel-blobs");
    ::setenv("XDG_DATA_HOME", dir_.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

 private:
  std::filesystem::path dir_;
};

}  // namespace pelto::model::testing
