// Materializing a body of 10,000 paragraphs of 100 characters with marks, and reading every
// block's text. Prints one line per figure and, last, one JSON object of the figures (medians of
// several rounds, in milliseconds).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "interfaces/docmodel/history.h"
#include "interfaces/docmodel/ids.h"
#include "interfaces/docmodel/mutate.h"
#include "interfaces/docmodel/read.h"
#include "interfaces/docmodel/schema.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

template <class F>
double median_ms(int rounds, F&& f) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    auto t = Clock::now();
    f();
    times.push_back(ms_since(t));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pelto;
  const size_t blocks = argc > 1 ? std::stoul(argv[1]) : 10000;
  const int rounds = 7;

  auto doc = model::new_document(crdt::ActorId::from_string("bench"));
  if (!doc) {
    fmt::print(stderr, "Error: {}\n", doc.error().display());
    return 1;
  }
  auto m = *model::open(*doc);
  auto ids = model::seeded_id_gen(*doc, m);
  model::DocMut mut(*doc, m, ids);

  auto t_build = Clock::now();
  std::string text;
  for (int i = 0; i < 100; ++i) text += static_cast<char>('a' + i % 26);
  std::optional<std::string> last;
  for (size_t i = 0; i < blocks; ++i) {
    std::optional<std::string_view> after;
    if (last) after = *last;
    auto id = mut.insert_block(after, "paragraph");
    if (!id || !mut.splice_text(*id, 0, 0, text) || !mut.set_mark_in(model::Region::Body, *id, 10, 20, "bold", true) ||
        !mut.set_mark_in(model::Region::Body, *id, 30, 60, "italic", true)) {
      fmt::print(stderr, "Error: building the body failed\n");
      return 1;
    }
    last = *id;
  }
  history::commit_stamped(*doc);
  double build_ms = ms_since(t_build);

  size_t seen = 0;
  double materialize_ms = median_ms(rounds, [&] {
    auto s = model::materialize(*doc, m);
    seen = s.body().blocks.size();
  });
  size_t chars = 0;
  double block_text_ms = median_ms(rounds, [&] {
    chars = 0;
    for (const auto& id : model::blocks_in_order(*doc, m)) chars += model::block_text(*doc, m, id)->size();
  });
  double open_ms = median_ms(rounds, [&] { (void)model::open(*doc); });
  if (seen != blocks || chars != blocks * 100) {
    fmt::print(stderr, "Error: read {} blocks and {} bytes\n", seen, chars);
    return 1;
  }

  fmt::print("body of {} paragraphs x 100 characters, 2 marks each\n", blocks);
  fmt::print("build (insert, splice, mark; one commit): {:.1f} ms\n", build_ms);
  fmt::print("materialize: {:.2f} ms\n", materialize_ms);
  fmt::print("blocks_in_order + block_text of every block: {:.2f} ms\n", block_text_ms);
  fmt::print("open: {:.3f} ms\n", open_ms);
  nlohmann::ordered_json j;
  j["blocks"] = blocks;
  j["build_ms"] = build_ms;
  j["materialize_ms"] = materialize_ms;
  j["block_text_ms"] = block_text_ms;
  j["open_ms"] = open_ms;
  fmt::print("{}\n", j.dump());
  return 0;
}
