// trace-replay FILE.json.gz: replays an editing trace through the CRDT engine and prints, as its
// last line, {replay_ms, save_ms, saved_bytes, load_ms, peak_rss_kb, ok}.
//
// Sequential traces: every transaction becomes one committed change on one document.
// Concurrent traces: every transaction is made on a replica of its agent that holds exactly the
// history of the transaction's parents (brought up to date through save_incremental /
// load_incremental, or forked at that version when it holds more), and its change is exchanged
// the same way; the collected document must end with endContent.
#include <sys/resource.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "interfaces/crdt/document.h"

using namespace pelto::crdt;
using Clock = std::chrono::steady_clock;

namespace {

bool read_gzip(const char* path, std::string& out) {
  gzFile f = gzopen(path, "rb");
  if (!f) return false;
  char buf[1 << 16];
  int n;
  while ((n = gzread(f, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  bool ok = n == 0;
  gzclose(f);
  return ok;
}

int64_t parse_time(const nlohmann::json& t) {
  if (t.is_number_integer()) return t.get<int64_t>();
  if (!t.is_string()) return 0;
  std::tm tm{};
  int ms = 0;
  const std::string s = t.get<std::string>();
  if (std::sscanf(s.c_str(), "%d-%d-%dT%d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour, &tm.tm_min,
                  &tm.tm_sec) != 6)
    return 0;
  if (auto dot = s.find('.'); dot != std::string::npos) ms = std::atoi(s.substr(dot + 1, 3).c_str());
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return static_cast<int64_t>(timegm(&tm)) * 1000 + ms;
}

double ms_since(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

bool apply_patches(Document& d, const ObjId& text, const nlohmann::json& patches) {
  for (auto& p : patches) {
    auto r = d.splice_text(text, p[0].get<size_t>(), p[1].get<size_t>(), p[2].get<std::string>());
    if (!r) {
      fmt::print(stderr, "splice failed: {}\n", r.error().display());
      return false;
    }
  }
  return true;
}

// Brings `replica` to hold every change of `parents` and their ancestors (all of `held` is
// ancestor-closed), loading each missing transaction's incremental save.
void bring_up(Document& replica, std::vector<bool>& held, const std::vector<std::vector<size_t>>& parents,
              const std::vector<pelto::crdt::Bytes>& incs, const std::vector<size_t>& want) {
  std::vector<size_t> stack(want.begin(), want.end()), order;
  while (!stack.empty()) {
    size_t i = stack.back();
    stack.pop_back();
    if (held[i]) continue;
    held[i] = true;
    order.push_back(i);
    for (size_t p : parents[i]) stack.push_back(p);
  }
  // Any order works (missing dependencies wait); oldest first applies each at once.
  std::sort(order.begin(), order.end());
  pelto::crdt::Bytes batch;
  for (size_t i : order) batch.insert(batch.end(), incs[i].begin(), incs[i].end());
  if (!batch.empty()) (void)replica.load_incremental(batch);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fmt::print(stderr, "usage: trace-replay FILE.json.gz\n");
    return 2;
  }
  std::string raw;
  if (!read_gzip(argv[1], raw)) {
    fmt::print(stderr, "cannot read {}\n", argv[1]);
    return 1;
  }
  auto trace = nlohmann::json::parse(raw, nullptr, false);
  if (trace.is_discarded()) {
    fmt::print(stderr, "not JSON: {}\n", argv[1]);
    return 1;
  }
  raw.clear();
  raw.shrink_to_fit();
  const std::string end_content = trace["endContent"].get<std::string>();
  const bool concurrent = trace.value("kind", "") == "concurrent";
  auto& txns = trace["txns"];
  bool ok = true;

  auto t0 = Clock::now();
  Document doc(ActorId::from_string("trace"));
  ObjId text;
  if (!concurrent) {
    text = *doc.put_object(ObjId::root(), "text", ObjType::Text);
    if (auto start = trace.value("startContent", ""); !start.empty()) (void)doc.splice_text(text, 0, 0, start);
    doc.commit(CommitOptions{.message = std::nullopt, .time_ms = 0});
    for (auto& txn : txns) {
      ok = apply_patches(doc, text, txn["patches"]) && ok;
      doc.commit(CommitOptions{.message = std::nullopt, .time_ms = parse_time(txn.value("time", nlohmann::json()))});
    }
  } else {
    text = *doc.put_object(ObjId::root(), "text", ObjType::Text);
    doc.commit(CommitOptions{.message = std::nullopt, .time_ms = 0});
    const auto genesis = doc.save();
    const size_t n = txns.size();
    size_t agents = trace.value("numAgents", 1);
    std::vector<std::vector<size_t>> parents(n);
    std::vector<ChangeHash> hash(n);
    std::vector<pelto::crdt::Bytes> incs(n);
    std::vector<Document> replicas;
    std::vector<std::vector<bool>> held(agents, std::vector<bool>(n, false));
    for (size_t a = 0; a < agents; ++a) {
      replicas.emplace_back(ActorId::from_string(fmt::format("agent-{}", a)));
      (void)replicas.back().load_incremental(genesis);
    }
    for (size_t i = 0; i < n && ok; ++i) {
      auto& txn = txns[i];
      for (auto& p : txn["parents"]) parents[i].push_back(p.get<size_t>());
      size_t agent = txn["agent"].get<size_t>();
      Document* r = &replicas[agent];
      bring_up(*r, held[agent], parents, incs, parents[i]);
      // The replica must hold nothing beyond the parents' history.
      std::vector<ChangeHash> want;
      for (size_t p : parents[i]) want.push_back(hash[p]);
      std::sort(want.begin(), want.end());
      bool extra = false;
      for (auto& h : r->heads())
        if (!std::binary_search(want.begin(), want.end(), h) && !(parents[i].empty() && r->change_count() == 1))
          extra = true;
      if (extra) {
        auto genesis_heads = Document::load(genesis)->heads();
        auto forked = doc.fork_at(want.empty() ? genesis_heads : want, r->actor());
        if (!forked) {
          ok = false;
          break;
        }
        replicas[agent] = std::move(*forked);
        r = &replicas[agent];
        // Rebuild what it holds: the ancestors of its parents.
        std::fill(held[agent].begin(), held[agent].end(), false);
        std::vector<size_t> stack(parents[i].begin(), parents[i].end());
        while (!stack.empty()) {
          size_t k = stack.back();
          stack.pop_back();
          if (held[agent][k]) continue;
          held[agent][k] = true;
          for (size_t p : parents[k]) stack.push_back(p);
        }
      }
      r->discard_pending_incremental();
      ok = apply_patches(*r, text, txn["patches"]) && ok;
      auto h = r->commit(CommitOptions{.message = std::nullopt, .time_ms = parse_time(txn.value("time", nlohmann::json()))});
      if (!h) {
        ok = false;
        break;
      }
      hash[i] = *h;
      held[agent][i] = true;
      incs[i] = r->save_incremental();
      if (!doc.load_incremental(incs[i])) ok = false;
    }
  }
  double replay_ms = ms_since(t0);
  ok = ok && doc.text(text) == end_content;

  auto t1 = Clock::now();
  auto saved = doc.save();
  double save_ms = ms_since(t1);

  auto t2 = Clock::now();
  auto loaded = Document::load(saved);
  double load_ms = ms_since(t2);
  ok = ok && loaded && loaded->text(text) == end_content;
  if (!loaded) fmt::print(stderr, "load failed: {}\n", loaded.error().display());

  struct rusage ru {};
  getrusage(RUSAGE_SELF, &ru);
  nlohmann::ordered_json out;
  out["replay_ms"] = std::round(replay_ms * 10) / 10;
  out["save_ms"] = std::round(save_ms * 10) / 10;
  out["saved_bytes"] = saved.size();
  out["load_ms"] = std::round(load_ms * 10) / 10;
  out["peak_rss_kb"] = ru.ru_maxrss;
  out["ok"] = ok;
  fmt::print("{}\n", out.dump());
  return ok ? 0 : 1;
}
