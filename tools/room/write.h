#pragma once
// `pelto-room write`: a person who adds one paragraph to the document a room participant serves.
//
// It joins the room on the document's route, asks for the document (a participant's request naming
// app and record, asked again every kAskAgain until the timeout), takes the first snapshot of that
// document, appends the paragraph as one change or one change per character, sends each change to
// the room as an incremental change, waits until the broker has taken every byte, and leaves.
#include <chrono>
#include <cstddef>
#include <string>

#include "interfaces/base/error.h"
#include "tools/room/participant.h"

namespace pelto::room {

inline constexpr std::chrono::milliseconds kAskAgain{500};

struct WriteOptions {
  RoomAddress address;
  std::string text;
  bool per_character = false;
  std::string name = "pelto-room-writer";      // the connection id
  std::chrono::milliseconds timeout{5000};     // for the document to arrive, and for sending
  std::chrono::milliseconds pace{0};           // between two changes
};

// Gives how many changes were sent.
Result<size_t> write(const WriteOptions& options);

}  // namespace pelto::room
