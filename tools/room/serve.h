#pragma once
// `pelto-room serve`: an application participant that holds one word-processor document, seeded
// from markdown, and keeps it in step with the room.
//
// It answers the agent's request for the document (which the broker routes to the participants of
// the same route) and participants' requests naming its app and record with a whole snapshot, and
// it announces its document with a snapshot when it joins. Snapshots and changes of the same
// document (app and record equal) are merged or loaded; mutations of other documents in the room
// are left alone, and mutations that do not load are logged and dropped. Each time the body changes,
// its listing (render_blocks) is written to `out` and flushed.
//
// Runs until SIGINT or SIGTERM (success) or until the broker connection ends (failure).
#include <cstdio>
#include <string>

#include "interfaces/base/error.h"
#include "tools/room/participant.h"

namespace pelto::room {

struct ServeOptions {
  RoomAddress address;
  std::string seed_path;
  std::string name = "pelto-room";  // the connection id
  bool print_changes = false;        // log every mutation taken or refused at INFO, not DEBUG
};

Result<void> serve(const ServeOptions& options, std::FILE* out);

}  // namespace pelto::room
