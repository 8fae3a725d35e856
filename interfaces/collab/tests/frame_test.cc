#include "interfaces/collab/frame.h"
#include "interfaces/collab/messages.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pelto::collab {
namespace {

Bytes le32(std::initializer_list<uint32_t> values) {
  Bytes out;
  for (uint32_t v : values)
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return out;
}

struct LengthCase {
  const char* name;
  Bytes prefix;
  std::optional<size_t> length;  // when complete
  bool error = false;
};

TEST(FrameLength, ReadsTheSegmentTableAndRefusesBeforeTheBodyArrives) {
  const LengthCase cases[] = {
      {"nothing yet", {}, std::nullopt},
      {"count only", le32({0}), std::nullopt},
      {"one segment of 2 words", le32({0, 2}), 8 + 16},
      {"two segments, table padded", le32({1, 1, 3}), 16 + 32},
      {"two segments, table incomplete", le32({1, 1}), std::nullopt},
      {"exactly the limit", le32({0, static_cast<uint32_t>(kMaxFrameBytes / 8 - 1)}), kMaxFrameBytes},
      {"one word over the limit", le32({0, static_cast<uint32_t>(kMaxFrameBytes / 8)}), std::nullopt, true},
      {"segments that add up past the limit", le32({1, 0x10000000, 0x10000000}), std::nullopt, true},
      {"largest sizes do not wrap", le32({1, 0xffffffff, 0xffffffff}), std::nullopt, true},
      {"too many segments", le32({kMaxSegments}), std::nullopt, true},
      {"count that wraps to zero", le32({0xffffffff}), std::nullopt, true},
  };
  for (const auto& c : cases) {
    auto r = frame_length(c.prefix);
    if (c.error) {
      EXPECT_FALSE(r.has_value()) << c.name;
      continue;
    }
    ASSERT_TRUE(r.has_value()) << c.name << ": " << r.error().display();
    EXPECT_EQ(*r, c.length) << c.name;
  }
}

Bytes frame_of(uint32_t words, uint8_t fill) {
  Bytes f = le32({0, words});
  f.resize(8 + words * 8, fill);
  return f;
}

TEST(FrameReader, FrameSplitAcrossReadsComesOutWholeAndAligned) {
  Bytes stream = frame_of(3, 0xaa);
  Bytes second = frame_of(1, 0xbb);
  stream.insert(stream.end(), second.begin(), second.end());
  FrameReader reader;
  std::vector<Bytes> frames;
  for (uint8_t byte : stream) {  // one byte per read: the worst split there is
    reader.append(std::span<const uint8_t>(&byte, 1));
    while (true) {
      auto f = reader.next();
      ASSERT_TRUE(f.has_value());
      if (!*f) break;
      EXPECT_EQ(reinterpret_cast<uintptr_t>((*f)->data()) % 8, 0u);
      frames.emplace_back((*f)->begin(), (*f)->end());
    }
  }
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0], frame_of(3, 0xaa));
  EXPECT_EQ(frames[1], frame_of(1, 0xbb));
  EXPECT_EQ(reader.buffered(), 0u);
}

TEST(FrameReader, OversizeHeaderFailsAtOnceAndStaysFailed) {
  FrameReader reader;
  reader.append(le32({0, 0xffffffff}));  // declares 32 GiB; nothing of the body is sent
  EXPECT_FALSE(reader.next().has_value());
  reader.append(frame_of(1, 0));
  EXPECT_FALSE(reader.next().has_value());
}

}  // namespace
}  // namespace pelto::collab
