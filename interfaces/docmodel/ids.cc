#include "interfaces/docmodel/ids.h"

#include <random>

#include <fmt/format.h>

#include "interfaces/docmodel/blobstore.h"

namespace pelto::model {

namespace {

std::string tag_of(std::string_view actor_hex) {
  auto digest = blobstore::hash_bytes(
      std::span(reinterpret_cast<const uint8_t*>(actor_hex.data()), actor_hex.size()));
  return digest.substr(0, 8);
}

std::string random_base() {
  std::random_device rd;
  uint64_t r = (uint64_t(rd()) << 32) ^ rd();
  return fmt::format("r{:x}", r);
}

}  // namespace

IdGen::IdGen(std::string_view actor_hex) : IdGen(actor_hex, random_base()) {}

IdGen::IdGen(std::string_view actor_hex, std::string base)
    : prefix_(fmt::format("{}-{}.", tag_of(actor_hex), base)) {}

std::string IdGen::mint() { return prefix_ + std::to_string(next_++); }

IdGen seeded_id_gen(const crdt::Document& doc, const Model& model) {
  (void)model;
  return IdGen(doc.actor().hex(), fmt::format("{}x{}", doc.change_count(), doc.pending_ops()));
}

}  // namespace pelto::model
