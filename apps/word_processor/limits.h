#pragma once
// The safe limits of word-processor actions: the rules every action must pass against a fresh
// snapshot of the document before the executor writes anything. The check only reads; it answers
// success or a refusal whose message says which rule failed (for logs and tests; people are shown
// the executor's fixed refusal).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "apps/word_processor/action.h"
#include "interfaces/base/error.h"
#include "interfaces/crdt/document.h"
#include "interfaces/docmodel/read.h"

namespace pelto::word_processor {

inline constexpr size_t kTextLimit = 1'000'000;       // characters of any text written
inline constexpr size_t kIdentifierMaxBytes = 128;
inline constexpr size_t kMaxSpans = 10'000;
inline constexpr size_t kMaxClipBlocks = 10'000;
inline constexpr size_t kMaxTocEntries = 10'000;
inline constexpr uint64_t kMaxTableSide = 100;
inline constexpr size_t kMaxImageBytes = 67'108'864;
inline constexpr size_t kMaxAuthorChars = 256;
inline constexpr size_t kMaxDateChars = 128;
inline constexpr size_t kMaxLinkChars = 2048;
inline constexpr int64_t kCropTotal = 9500;

// Well-formed UTF-8 of at most kTextLimit characters.
bool within_text_limit(std::string_view text);
// 1 to 128 bytes, each an ASCII letter, digit, "-" or "_".
bool is_identifier(std::string_view name);
// "#" and a bookmark name, an https URL with a host and no user or password, or a mailto URL with
// an at sign in its path; not empty, no surrounding white space, at most 2048 characters.
bool is_hyperlink_target(std::string_view target);
// The author, trimmed, is 1 to 256 characters; the date at most 128.
bool passes_author_rule(std::string_view author, std::string_view date);

// Accepted (success) or refused (the rule that failed).
Result<void> check_safe_limits(const model::Snapshot& snapshot, const crdt::Document& doc, const model::Model& model,
                               const WordProcessorAction& action);

}  // namespace pelto::word_processor
