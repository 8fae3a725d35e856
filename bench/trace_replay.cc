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

int64_t parse_time(const std::string& s) {
  std::tm tm{};
  int ms = 0;
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

// The trace, held compactly: a parsed DOM of the big traces would outweigh the document itself.
struct Trace {
  struct Patch {
    uint64_t pos = 0, del = 0;
    uint32_t text_off = 0, text_len = 0;
  };
  struct Txn {
    int64_t time = 0;
    size_t agent = 0;
    uint32_t patch_begin = 0, patch_end = 0;
    std::vector<size_t> parents;
  };
  std::string start_content, end_content, kind, pool;
  size_t agents = 1;
  std::vector<Patch> patches;
  std::vector<Txn> txns;
};

// SAX reader for the two trace layouts (see the traces' README).
struct TraceSax : nlohmann::json_sax<nlohmann::json> {
  Trace& t;
  std::vector<std::string> keys{""};  // key at each object depth
  int depth = 0;                      // nesting of objects and arrays
  int patch_field = 0;
  explicit TraceSax(Trace& trace) : t(trace) {}
  const std::string& key() const { return keys.back(); }
  bool in_txn_field(const char* k) const { return depth >= 4 && keys.size() == 3 && keys[2] == k; }
  bool value_number(uint64_t v) {
    if (depth == 1 && key() == "numAgents") t.agents = v;
    else if (depth == 3 && keys.size() == 3 && key() == "agent") t.txns.back().agent = v;
    else if (depth == 3 && keys.size() == 3 && key() == "time") t.txns.back().time = static_cast<int64_t>(v);
    else if (depth == 4 && in_txn_field("parents")) t.txns.back().parents.push_back(v);
    else if (depth == 5 && in_txn_field("patches")) {
      if (patch_field == 0) t.patches.back().pos = v;
      else if (patch_field == 1) t.patches.back().del = v;
      ++patch_field;
    }
    return true;
  }
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t v) override { return value_number(static_cast<uint64_t>(v)); }
  bool number_unsigned(number_unsigned_t v) override { return value_number(v); }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t& v) override {
    if (depth == 1) {
      if (key() == "startContent") t.start_content = v;
      else if (key() == "endContent") t.end_content = v;
      else if (key() == "kind") t.kind = v;
    } else if (depth == 3 && keys.size() == 3 && key() == "time") {
      t.txns.back().time = parse_time(v);
    } else if (depth == 5 && in_txn_field("patches")) {
      auto& p = t.patches.back();
      p.text_off = static_cast<uint32_t>(t.pool.size());
      p.text_len = static_cast<uint32_t>(v.size());
      t.pool += v;
    }
    return true;
  }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override {
    ++depth;
    keys.emplace_back();
    if (depth == 3) {
      t.txns.emplace_back();
      t.txns.back().patch_begin = t.txns.back().patch_end = static_cast<uint32_t>(t.patches.size());
    }
    return true;
  }
  bool end_object() override {
    --depth;
    keys.pop_back();
    return true;
  }
  bool start_array(std::size_t) override {
    ++depth;
    if (depth == 5 && in_txn_field("patches")) {
      t.patches.emplace_back();
      patch_field = 0;
    }
    return true;
  }
  bool end_array() override {
    if (depth == 5 && in_txn_field("patches")) t.txns.back().patch_end = static_cast<uint32_t>(t.patches.size());
    --depth;
    return true;
  }
  bool key(string_t& k) override {
    keys.back() = k;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }
};

bool apply_patches(Document& d, const ObjId& text, const Trace& trace, const Trace::Txn& txn) {
  for (uint32_t i = txn.patch_begin; i < txn.patch_end; ++i) {
    auto& p = trace.patches[i];
    auto r = d.splice_text(text, p.pos, p.del, std::string_view(trace.pool).substr(p.text_off, p.text_len));
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
  Trace trace;
  {
    TraceSax sax(trace);
    if (!nlohmann::json::sax_parse(raw, &sax)) {
      fmt::print(stderr, "not a trace: {}\n", argv[1]);
      return 1;
    }
  }
  raw.clear();
  raw.shrink_to_fit();
  const std::string& end_content = trace.end_content;
  const bool concurrent = trace.kind == "concurrent";
  auto& txns = trace.txns;
  bool ok = true;

  auto t0 = Clock::now();
  Document doc(ActorId::from_string("trace"));
  ObjId text;
  if (!concurrent) {
    text = *doc.put_object(ObjId::root(), "text", ObjType::Text);
    if (!trace.start_content.empty()) (void)doc.splice_text(text, 0, 0, trace.start_content);
    doc.commit(CommitOptions{.message = std::nullopt, .time_ms = 0});
    for (auto& txn : txns) {
      ok = apply_patches(doc, text, trace, txn) && ok;
      doc.commit(CommitOptions{.message = std::nullopt, .time_ms = txn.time});
    }
  } else {
    text = *doc.put_object(ObjId::root(), "text", ObjType::Text);
    doc.commit(CommitOptions{.message = std::nullopt, .time_ms = 0});
    const auto genesis = doc.save();
    const size_t n = txns.size();
    size_t agents = trace.agents;
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
      for (size_t p : txn.parents) {
        if (p >= i) {
          ok = false;
          break;
        }
        parents[i].push_back(p);
      }
      size_t agent = txn.agent;
      if (!ok || agent >= agents) {
        ok = false;
        break;
      }
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
      ok = apply_patches(*r, text, trace, txn) && ok;
      auto h = r->commit(CommitOptions{.message = std::nullopt, .time_ms = txn.time});
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

  // A replica keeps one document: the replayed one goes before its save is loaded.
  doc = Document();
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
