#pragma once
// Envelope <-> one frame of the wire schema (interfaces/collab/wire.capnp).
//
// decode reads the whole message eagerly into the records of messages.h, inside the library's
// exception boundary, so a frame that does not decode (bad pointers, unknown kinds, a room id that is
// not 16 bytes, more than kMaxFrameBytes of content) is an error value and nothing of it is kept.
#include <span>

#include "interfaces/base/error.h"
#include "interfaces/collab/frame.h"
#include "interfaces/collab/messages.h"

namespace pelto::collab {

// The frame for one envelope (segment table included); refused above kMaxFrameBytes.
Result<Bytes> encode(const Envelope& envelope);

// One whole frame as FrameReader::next returns it. The bytes need not be aligned (they are copied
// when they are not).
Result<Envelope> decode(std::span<const uint8_t> frame);

}  // namespace pelto::collab
