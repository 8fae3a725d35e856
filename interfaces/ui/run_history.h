#pragma once
// The run history of a word-processor document: one entry per run of the agent, appended into the
// document's pending change (the caller commits it stamped and publishes it).
#include <optional>
#include <string>
#include <vector>

#include "interfaces/base/error.h"
#include "interfaces/crdt/document.h"
#include "interfaces/docmodel/history.h"

namespace pelto::ui {

struct RunDetails {
  std::string run_id;
  std::string request;
  std::string decision;
  std::optional<std::string> assigned_by;
  std::string author_hex;  // the recording actor, in hexadecimal
  std::string outcome;
};

// Appends one entry stamped with the wall clock. Fails when the document has no folio schema.
Result<void> record_run_with_details(crdt::Document& doc, const RunDetails& details);
// The entries in the order they were recorded.
Result<std::vector<history::RunEntry>> run_history(const crdt::Document& doc);

}  // namespace pelto::ui
