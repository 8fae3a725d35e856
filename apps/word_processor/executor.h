#pragma once
// The executor: performs one WordProcessorAction on a word-processor document through the document
// model. It writes into the document's pending change; the caller (the replica's apply step) sets
// the actor, and commits and stamps afterwards.
//
// The action is checked whole against a fresh snapshot before the first write, so it is either
// carried out in full or changes nothing. The executor keeps nothing between calls.
#include <string_view>

#include "apps/word_processor/action.h"
#include "interfaces/base/error.h"
#include "interfaces/crdt/document.h"

namespace pelto::word_processor {

inline constexpr std::string_view kDocumentUnavailable =
    "Penmora document is unavailable or has not been initialized";
inline constexpr std::string_view kActionRefused =
    "action targets are stale or its arguments are outside Penmora's safe limits";

// Success, or a refusal whose whole message is kDocumentUnavailable or kActionRefused (the rule
// that failed is logged, not shown). Call it qualified (word_processor::apply): the action is a
// std::variant, so an unqualified call also finds std::apply. After a passed check a write the document model turns down (which the check is
// meant to rule out) is reported as a failure too, never as success.
Result<void> apply(crdt::Document& doc, const WordProcessorAction& action);

}  // namespace pelto::word_processor
