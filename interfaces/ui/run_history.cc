#include "interfaces/ui/run_history.h"

#include "interfaces/docmodel/schema.h"

namespace pelto::ui {

Result<void> record_run_with_details(crdt::Document& doc, const RunDetails& details) {
  PELTO_TRY(auto model, model::open(doc), "record the run");
  history::RunEntry entry{details.run_id, details.request,    details.decision,         details.assigned_by,
                          details.author_hex, history::wall_clock_ms(), details.outcome};
  PELTO_CHECK(history::record_run(doc, model, entry), "record the run");
  return {};
}

Result<std::vector<history::RunEntry>> run_history(const crdt::Document& doc) {
  PELTO_TRY(auto model, model::open(doc), "read the run history");
  return history::runs(doc, model);
}

}  // namespace pelto::ui
