#pragma once
// The word processor as the action framework sees it: the resource tree built from a fresh
// snapshot and a view state, the encoding of edits as "word-processor.action" payloads and of the
// application's own operations as "word-processor.operation" payloads, the executor registered for
// "word-processor.action", and the action context of the agent's own edits.
//
// The tree is a plain value: every encoder captures copies of what it needs, never references into
// the snapshot, so the tree may outlive the document it was built from.
//
// Operation payload ("word-processor.operation"): {"operation": <operation id>, "arguments": {...}}
// where the arguments name what the operation works on ("block", "start", "end", "hash", "path").
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "apps/word_processor/action.h"
#include "interfaces/actions/context.h"
#include "interfaces/actions/registry.h"
#include "interfaces/actions/resource.h"
#include "interfaces/crdt/document.h"

namespace pelto::word_processor {

inline constexpr std::string_view kActionType = "word-processor.action";
inline constexpr std::string_view kOperationType = "word-processor.operation";
inline constexpr size_t kMaxSearchResults = 64;
inline constexpr size_t kMaxRevisions = 64;

// Where the caret, the selection and the search hits are.
struct ViewState {
  std::string caret_block;
  uint64_t caret_offset = 0;
  std::vector<Span> selected_spans;  // empty: nothing selected
  std::vector<Span> search_hits;     // empty: no search
  struct Selection {
    std::string start_block, end_block;
    uint64_t start = 0, end = 0;
    Region region = Region::Body;
  };
  std::optional<Selection> selection;
};

// The text's pieces between white space joined by single blanks; the fallback when that is empty;
// its first 45 characters and "…" when it is longer than 48 characters.
std::string preview(std::string_view text, std::string_view fallback);

// The resource tree of the document as it is now. When the document cannot be opened, the root
// holds only the application operations, the root edits and the selection.
actions::Resource resource_tree(const crdt::Document& doc, const ViewState& view);

// An edit as the payload of a "word-processor.action".
actions::Encoded encode_action(const WordProcessorAction& action);
// An application operation as the payload of a "word-processor.operation".
actions::Encoded encode_operation(std::string_view operation, nlohmann::json arguments = nlohmann::json::object());

// The context of an edit the agent makes itself: action label "word-processor.edit", the app
// "word-processor" labelled "Word Processor", the resource "word-processor.document", and a facet
// per id the action names ("block", "table", "comment", "change", "style", "heading").
actions::ActionContext edit_context(const WordProcessorAction& action);

// Whether the document holds content the room already denotes, content an opened application could
// be opened onto: the document opens and its body holds an image or a block with text that is not
// blank.
bool denotes_content(const crdt::Document& doc);

// Adds the executor of "word-processor.action" payloads to the registry.
Result<void> register_actions(actions::ActionRegistry& registry);

}  // namespace pelto::word_processor
