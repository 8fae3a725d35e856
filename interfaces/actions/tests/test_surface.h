#pragma once
// A small notes application for the framework's tests: a board with an action of every kind, a note
// that exports content, and an archive. Its document actions ("notes.action") are applied by a real
// executor to a real CRDT document; its device operations ("notes.operation") only travel.
//
// Document layout: root "title" (text scalar), root "lines" (list of texts), root "placed" (the
// content hash placed on the board).
#include <string>
#include <vector>

#include "interfaces/actions/door.h"
#include "interfaces/actions/registry.h"
#include "interfaces/actions/resource.h"
#include "interfaces/crdt/document.h"

namespace pelto::actions::testing {

inline constexpr std::string_view kNotesAction = "notes.action";
inline constexpr std::string_view kNotesOperation = "notes.operation";
inline constexpr std::string_view kWipePhrase = "wipe the board";

struct SurfaceOptions {
  bool with_note = true;       // false: the note (and its subtree) is gone
  bool show_available = true;  // false: "show" declares itself unavailable
};

// The resource list: the board (with the note below it), then the archive.
std::vector<Resource> notes_surface(SurfaceOptions options = {});
Result<void> register_notes(ActionRegistry& registry);

// Readers of the layout above.
std::string title_of(const crdt::Document& doc);
std::vector<std::string> lines_of(const crdt::Document& doc);

}  // namespace pelto::actions::testing
