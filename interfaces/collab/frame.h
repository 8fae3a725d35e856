#pragma once
// Cap'n Proto's standard stream framing, read incrementally from a byte stream.
//
// A frame is: a little-endian u32 holding the segment count minus one, one u32 size (in 8-byte words)
// per segment, padding to a multiple of 8 bytes, then the segments. Every frame is a whole number of
// words, so a frame that starts at the front of the (8-byte aligned) buffer stays aligned.
//
// FrameReader reads the segment table itself and refuses a frame above kMaxFrameBytes, or one whose
// table makes no sense, before any room is made for its body: the buffer only ever grows by what the
// peer actually sent. Once next() has failed the stream is out of step and the reader stays failed.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "interfaces/base/error.h"

namespace pelto::collab {

// A document may carry a 64 MiB image; a frame may be at most this long, header included.
inline constexpr size_t kMaxFrameBytes = size_t{256} << 20;
// Cap'n Proto's own readers refuse more segments than this.
inline constexpr uint32_t kMaxSegments = 512;

// Length of the frame at the front of `prefix`: nullopt while the segment table is incomplete;
// an error when the table is nonsense or the frame is too long.
Result<std::optional<size_t>> frame_length(std::span<const uint8_t> prefix);

class FrameReader {
 public:
  FrameReader() = default;
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;
  FrameReader(FrameReader&&) = default;
  FrameReader& operator=(FrameReader&&) = default;

  // Room for at least `n` more bytes at the back; write into it, then commit what was written.
  std::span<uint8_t> prepare(size_t n);
  void commit(size_t n);
  // Appends a copy (tests and small writers).
  void append(std::span<const uint8_t> bytes);

  // The next complete frame, 8-byte aligned, valid until the next call on this reader; nullopt
  // when the buffer holds no complete frame yet.
  Result<std::optional<std::span<const uint8_t>>> next();

  // Bytes received and not yet returned as frames.
  size_t buffered() const { return end_ - start_; }

 private:
  void compact();

  std::vector<uint64_t> words_;  // uint64_t storage keeps the front aligned for Cap'n Proto
  size_t start_ = 0;             // byte offsets into words_
  size_t end_ = 0;
  std::optional<Error> failed_;
};

}  // namespace pelto::collab
