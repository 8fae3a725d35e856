// Content hashes, the blob store, blobs carried by documents into another process's store, and
// image header sniffing.
#include <fstream>

#include <gtest/gtest.h>

#include "interfaces/base/subprocess.h"
#include "interfaces/docmodel/blobstore.h"
#include "interfaces/docmodel/tests/fixture.h"

namespace pelto::model {
namespace {

static auto* const blob_home = ::testing::AddGlobalTestEnvironment(new testing::BlobHome);

crdt::Bytes bytes_of(std::string_view s) { return crdt::Bytes(s.begin(), s.end()); }

TEST(Hash, Sha256InLowercaseHex) {
  EXPECT_EQ(blobstore::hash_bytes(bytes_of("abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(blobstore::hash_bytes({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_TRUE(blobstore::is_hash(blobstore::hash_bytes(bytes_of("x"))));
  for (auto bad : {"", "../../etc/passwd", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD",
                   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015a"})
    EXPECT_FALSE(blobstore::is_hash(bad)) << bad;
}

TEST(Store, PutGetAndRefusals) {
  auto data = bytes_of("some picture bytes");
  auto hash = blobstore::put(data);
  ASSERT_TRUE(hash);
  EXPECT_EQ(blobstore::get(*hash), data);
  EXPECT_TRUE(std::filesystem::exists(blobstore::store_dir() / *hash));
  EXPECT_EQ(blobstore::get("../../etc/passwd"), std::nullopt);
  EXPECT_EQ(blobstore::get(blobstore::hash_bytes(bytes_of("never stored"))), std::nullopt);

  // A file whose bytes no longer match its name reads as missing.
  auto other = bytes_of("to be altered");
  auto h2 = *blobstore::put(other);
  std::ofstream(blobstore::store_dir() / h2, std::ios::binary | std::ios::trunc) << "altered";
  EXPECT_EQ(blobstore::get(h2), std::nullopt);
}

TEST(Store, BlobsTravelWithTheDocumentIntoAnotherProcessStore) {
  testing::Fresh f;
  crdt::Bytes picture(5000);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 31 + 7);
  auto hash = f.mut.put_blob(picture);
  ASSERT_TRUE(hash) << hash.error().display();
  EXPECT_EQ(blobstore::get(*hash), picture);
  size_t before = f.doc.pending_ops();
  ASSERT_EQ(f.mut.put_blob(picture), hash) << "the same bytes are not written twice";
  EXPECT_EQ(f.doc.pending_ops(), before);

  auto dir = testing::temp_dir("docmodel-other");
  auto saved = dir / "doc.folio";
  auto bytes = f.doc.save();
  std::ofstream(saved, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  auto other_home = dir / "home";
  auto run = run_capture({DOCMODEL_BLOB_TOOL, saved.string(), *hash}, {"XDG_DATA_HOME=" + other_home.string()});
  ASSERT_TRUE(run) << run.error().display();
  EXPECT_EQ(run->status, 0) << run->err;
  EXPECT_EQ(run->out, "present 5000\n");
  std::ifstream copy(other_home / "pelto" / "blobs" / *hash, std::ios::binary);
  crdt::Bytes copied((std::istreambuf_iterator<char>(copy)), std::istreambuf_iterator<char>());
  EXPECT_EQ(copied, picture);

  // A store that lacks the blob and a document that lacks it: missing.
  auto run2 = run_capture({DOCMODEL_BLOB_TOOL, saved.string(), blobstore::hash_bytes(bytes_of("x"))},
                          {"XDG_DATA_HOME=" + other_home.string()});
  ASSERT_TRUE(run2);
  EXPECT_EQ(run2->out, "missing\n");
  std::filesystem::remove_all(dir);
}

TEST(Store, ABlobWhoseBytesDoNotMatchItsNameIsNotTrusted) {
  testing::Fresh f;
  auto fake = std::string(64, 'a');
  ASSERT_TRUE(f.doc.put(*f.model.blobs, fake, bytes_of("not what the name says")));
  ASSERT_TRUE(blobstore::absorb(f.doc, f.model));
  EXPECT_FALSE(std::filesystem::exists(blobstore::store_dir() / fake));
}

crdt::Bytes hex(std::string_view h) {
  crdt::Bytes out;
  for (size_t i = 0; i + 1 < h.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16)));
  return out;
}

TEST(Sniff, MediaTypeAndPixelSizeFromHeaders) {
  struct Case {
    const char* name;
    crdt::Bytes bytes;
    blobstore::Sniffed want;
  };
  const std::vector<Case> cases = {
      {"png", hex("89504e470d0a1a0a0000000d49484452000001e0000000f00806000000"), {"image/png", 480, 240}},
      {"png without IHDR", hex("89504e470d0a1a0a"), {"image/png", 0, 0}},
      // SOI, an APP0 segment of 16 bytes, then SOF0 with height 0x0102 and width 0x0304.
      {"jpeg", hex("ffd8ffe000104a46494600010100000100010000ffc00011080102030403012200021101031101"),
       {"image/jpeg", 0x0304, 0x0102}},
      {"jpeg cut short", hex("ffd8ffe00010"), {"image/jpeg", 0, 0}},
      {"gif", hex("4749463839610a001400f70000"), {"image/gif", 10, 20}},
      {"webp lossy", hex("52494646000000005745425056503820000000000000009d012a4000300000"),
       {"image/webp", 64, 48}},
      {"webp lossless", hex("5249464600000000574542505650384c000000002f3fc00300"), {"image/webp", 64, 16}},
      {"webp extended", hex("524946460000000057454250565038580a000000000000003f00001f0000"), {"image/webp", 64, 32}},
      {"text", bytes_of("hello, world"), {"application/octet-stream", 0, 0}},
      {"empty", {}, {"application/octet-stream", 0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(blobstore::sniff(c.bytes), c.want) << c.name;
}

}  // namespace
}  // namespace pelto::model
