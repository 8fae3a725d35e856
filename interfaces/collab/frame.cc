#include "interfaces/collab/frame.h"

#include <cstring>

namespace pelto::collab {
namespace {

// Room kept between frames; anything larger is given back once empty.
constexpr size_t kKeepWords = (size_t{1} << 20) / 8;

uint32_t read_u32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

Result<std::optional<size_t>> frame_length(std::span<const uint8_t> prefix) {
  if (prefix.size() < 4) return std::optional<size_t>{};
  uint32_t count_minus_one = read_u32(prefix.data());
  if (count_minus_one >= kMaxSegments)
    return failf("a message of {} segments (at most {})", uint64_t{count_minus_one} + 1, kMaxSegments);
  size_t count = size_t{count_minus_one} + 1;
  size_t table = (4 + 4 * count + 7) & ~size_t{7};
  if (prefix.size() < 4 + 4 * count) return std::optional<size_t>{};
  uint64_t total = table;
  for (size_t i = 0; i < count; ++i) {
    total += uint64_t{read_u32(prefix.data() + 4 + 4 * i)} * 8;
    if (total > kMaxFrameBytes)
      return failf("a message of more than {} bytes (at most 256 MiB)", kMaxFrameBytes);
  }
  return std::optional<size_t>{static_cast<size_t>(total)};
}

std::span<uint8_t> FrameReader::prepare(size_t n) {
  compact();
  size_t need_words = (end_ + n + 7) / 8;
  if (words_.size() < need_words) words_.resize(std::max(need_words, words_.size() * 2));
  return {reinterpret_cast<uint8_t*>(words_.data()) + end_, words_.size() * 8 - end_};
}

void FrameReader::commit(size_t n) { end_ += n; }

void FrameReader::append(std::span<const uint8_t> bytes) {
  auto room = prepare(bytes.size());
  std::memcpy(room.data(), bytes.data(), bytes.size());
  commit(bytes.size());
}

void FrameReader::compact() {
  if (start_ == end_ && words_.size() > kKeepWords) {
    // A large frame has gone through; do not hold its room for the rest of the connection.
    std::vector<uint64_t>().swap(words_);
    start_ = end_ = 0;
    return;
  }
  if (start_ == 0) return;
  // Frames are whole words, so start_ is a multiple of 8 and the move keeps the front aligned.
  auto* base = reinterpret_cast<uint8_t*>(words_.data());
  std::memmove(base, base + start_, end_ - start_);
  end_ -= start_;
  start_ = 0;
}

Result<std::optional<std::span<const uint8_t>>> FrameReader::next() {
  if (failed_) return fail(*failed_);
  std::span<const uint8_t> pending(reinterpret_cast<const uint8_t*>(words_.data()) + start_,
                                   end_ - start_);
  auto length = frame_length(pending);
  if (!length) {
    failed_ = length.error();
    return fail(length.error());
  }
  if (!*length || pending.size() < **length) return std::optional<std::span<const uint8_t>>{};
  start_ += **length;
  return std::optional<std::span<const uint8_t>>{pending.first(**length)};
}

}  // namespace pelto::collab
