// One tick of the document session for one incoming single-character change from a peer, in a
// document of 10,000 paragraphs that carries a long history, measured from the event to the end of
// the tick (merge, catalogue check, model open, snapshot). Also the load of that document as the
// addressed document. The room's side of the connection is this process, over a socket pair that
// reaches the agent's connection the way an inherited broker socket does.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include <fmt/format.h>

#include "apps/agent/session/driver.h"
#include "interfaces/collab/codec.h"
#include "interfaces/docmodel/history.h"
#include "interfaces/docmodel/mutate.h"

using namespace pelto;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kParagraphs = 10000;
constexpr size_t kHistoryEdits = 100000;  // single-character changes before the measured ones
constexpr size_t kMeasured = 100;

double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

void drain(int fd) {
  char buf[65536];
  while (::recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
  }
}

}  // namespace

int main() {
  // The person's document: 10,000 paragraphs, then a long history of typing into them.
  auto person = model::new_document(crdt::ActorId::from_string("person"));
  if (!person) return std::fprintf(stderr, "%s\n", person.error().display().c_str()), 1;
  auto m = *model::open(*person);
  auto gen = model::seeded_id_gen(*person, m);
  model::DocMut mut(*person, m, gen);
  std::vector<std::string> ids;
  std::optional<std::string> after;
  for (size_t i = 0; i < kParagraphs; ++i) {
    auto id = mut.insert_block(after ? std::optional<std::string_view>(*after) : std::nullopt, "paragraph");
    (void)mut.splice_text(*id, 0, 0, fmt::format("Paragraph {} of the long brief, with some text to edit.", i));
    ids.push_back(*id);
    after = *id;
    if (i % 100 == 99) history::commit_stamped(*person);
  }
  history::commit_stamped(*person);
  std::mt19937 rng(7);
  for (size_t i = 0; i < kHistoryEdits; ++i) {
    const auto& id = ids[rng() % ids.size()];
    (void)mut.splice_text(id, 0, 0, std::string(1, static_cast<char>('a' + rng() % 26)));
    history::commit_stamped(*person);
  }
  auto snapshot = person->save();
  person->save_incremental();

  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 1;
  ::setenv("PELTO_SVC_COLLAB_FD", std::to_string(pair[0]).c_str(), 1);
  agent::Settings settings;
  settings.app = "so.pelto.word-processor";
  settings.name = "Vesk";
  auto connection = agent::wire::RoomConnection::open({settings.app, settings.name, std::nullopt, std::nullopt, {}});
  if (!connection) return std::fprintf(stderr, "%s\n", connection.error().display().c_str()), 1;
  (void)connection->join();
  agent::SessionRecord session{settings, std::move(*connection), crdt::ActorId::from_string("Vesk"),
                               std::nullopt, {}, {}, Clock::now(), std::nullopt, {}, {}};
  // The catalogue round trip (at most once a second) is the broker's time, not the tick's.
  session.catalogue = agent::ActionCatalogue{{}, Clock::time_point::max()};

  auto t = Clock::now();
  auto replica = agent::load_addressed_document(snapshot, session.actor);
  double load_ms = ms_since(t);
  if (!replica) return std::fprintf(stderr, "%s\n", replica.error().display().c_str()), 1;
  session.document = std::move(*replica);

  std::vector<double> ticks_us;
  bool ok = true;
  for (size_t i = 0; i < kMeasured; ++i) {
    drain(pair[1]);
    (void)mut.splice_text(ids[rng() % ids.size()], 3, 0, "x");
    history::commit_stamped(*person);
    collab::Envelope envelope;
    envelope.sender = collab::Sender{"person", collab::Role::person, {settings.app, {}, std::nullopt}};
    envelope.body = collab::DocumentMutationMessage{
        collab::DocumentMutation{collab::DocumentMutation::Kind::change, person->save_incremental()}};
    auto frame = collab::encode(envelope);
    if (!frame || ::send(pair[1], frame->data(), frame->size(), 0) != static_cast<ssize_t>(frame->size())) return 1;
    t = Clock::now();
    auto outcome = agent::tick(session);
    ticks_us.push_back(ms_since(t) * 1000);
    ok = ok && outcome && outcome->document_changed;
  }
  ok = ok && session.document->doc.heads() == person->heads();
  std::sort(ticks_us.begin(), ticks_us.end());
  auto pct = [&](double p) { return ticks_us[std::min(ticks_us.size() - 1, static_cast<size_t>(p * ticks_us.size()))]; };
  std::printf("{\"paragraphs\": %zu, \"history_changes\": %zu, \"tick_p50_us\": %.1f, \"tick_p99_us\": %.1f, "
              "\"load_ms\": %.1f, \"ok\": %s}\n",
              kParagraphs, session.document->doc.change_count(), pct(0.5), pct(0.99), load_ms, ok ? "true" : "false");
  return ok ? 0 : 1;
}
