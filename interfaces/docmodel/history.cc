#include "interfaces/docmodel/history.h"

#include <chrono>

#include "interfaces/docmodel/detail.h"

namespace pelto::history {

namespace {
namespace key = model::key;
constexpr std::string_view kRunId = "run_id", kRequest = "request", kDecision = "decision",
                           kAssignedBy = "assigned_by", kAuthor = "author", kTime = "time_ms",
                           kOutcome = "outcome";
}  // namespace

int64_t wall_clock_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::optional<crdt::ChangeHash> commit_stamped(crdt::Document& doc) {
  return doc.commit(crdt::CommitOptions{std::nullopt, wall_clock_ms()});
}

std::optional<crdt::ChangeHash> commit_stamped_with_message(crdt::Document& doc, std::string_view message,
                                                            const std::optional<nlohmann::json>& context) {
  std::string text(message);
  if (context) {
    nlohmann::ordered_json j;
    j["message"] = message;
    j["context"] = *context;
    text = j.dump();
  }
  return doc.commit(crdt::CommitOptions{std::move(text), wall_clock_ms()});
}

bool is_schema_genesis(const crdt::ChangeMeta& change) {
  return change.deps.empty() && change.seq == 1 && change.message == model::kGenesisMessage &&
         change.actor == crdt::ActorId::from_string(model::kGenesisActor);
}

std::vector<Version> versions(const crdt::Document& doc) {
  std::vector<Version> out;
  for (const auto& c : doc.changes()) {
    Version v{c.hash, c.actor.hex(), c.seq, c.time_ms, c.message, std::nullopt, is_schema_genesis(c)};
    if (c.message && !c.message->empty() && c.message->front() == '{') {
      auto j = nlohmann::json::parse(*c.message, nullptr, false);
      if (j.is_object() && j.contains("message") && j["message"].is_string() && j.contains("context")) {
        v.message = j["message"].get<std::string>();
        v.context = j["context"];
      }
    }
    out.push_back(std::move(v));
  }
  return out;
}

Result<void> record_run(crdt::Document& doc, model::Model& m, const RunEntry& entry) {
  if (entry.run_id.empty()) return fail("a run entry needs a run id");
  if (!m.runs) {
    PELTO_TRY(auto runs, doc.put_object(m.folio, key::runs, crdt::ObjType::List), "create the run history");
    m.runs = runs;
  }
  PELTO_TRY(auto e, doc.insert_object(*m.runs, doc.length(*m.runs), crdt::ObjType::Map), "append a run entry");
  PELTO_CHECK(doc.put(e, kRunId, entry.run_id), "run id");
  PELTO_CHECK(doc.put(e, kRequest, entry.request), "run request");
  PELTO_CHECK(doc.put(e, kDecision, entry.decision), "run decision");
  if (entry.assigned_by) PELTO_CHECK(doc.put(e, kAssignedBy, *entry.assigned_by), "run assigned by");
  PELTO_CHECK(doc.put(e, kAuthor, entry.author), "run author");
  PELTO_CHECK(doc.put(e, kTime, entry.time_ms), "run time");
  PELTO_CHECK(doc.put(e, kOutcome, entry.outcome), "run outcome");
  return {};
}

std::vector<RunEntry> runs(const crdt::Document& doc, const model::Model& m) {
  std::vector<RunEntry> out;
  if (!m.runs) return out;
  size_t n = doc.length(*m.runs);
  for (size_t i = 0; i < n; ++i) {
    auto v = doc.get(*m.runs, i);
    if (!v || !v->is_object() || v->object_type != crdt::ObjType::Map) continue;
    const auto& e = *v->object();
    auto id = model::detail::str(doc, e, kRunId);
    if (!id || id->empty()) continue;
    RunEntry r;
    r.run_id = *id;
    r.request = model::detail::str(doc, e, kRequest).value_or("");
    r.decision = model::detail::str(doc, e, kDecision).value_or("");
    r.assigned_by = model::detail::str(doc, e, kAssignedBy);
    r.author = model::detail::str(doc, e, kAuthor).value_or("");
    auto t = doc.get(e, kTime);
    r.time_ms = t ? t->as_int().value_or(0) : 0;
    r.outcome = model::detail::str(doc, e, kOutcome).value_or("");
    out.push_back(std::move(r));
  }
  return out;
}

}  // namespace pelto::history
