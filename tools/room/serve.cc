#include "tools/room/serve.h"

#include <signal.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "interfaces/base/log.h"
#include "interfaces/collab/route.h"
#include "tools/room/served.h"

namespace pelto::room {
namespace {

constexpr const char* kTarget = "room";
volatile sig_atomic_t g_stop = 0;

void on_stop_signal(int) { g_stop = 1; }

// Without SA_RESTART, so a signal ends the wait at once.
void install_stop_handlers() {
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

Result<std::string> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return failf("cannot read {}", path);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return failf("cannot read {}", path);
  return text.str();
}

class Server {
 public:
  Server(const ServeOptions& options, RoomDocument doc, collab::CollaborationManager manager, std::FILE* out)
      : options_(options), doc_(std::move(doc)), manager_(std::move(manager)), out_(out) {}

  Result<void> run() {
    // Whoever is already in the room learns of the document now.
    PELTO_CHECK(manager_.send(snapshot()), "announce the document");
    print_if_changed();
    while (!g_stop) {
      PELTO_TRY(auto events, next_events(manager_, std::chrono::milliseconds(250)),
                "serve the document");
      for (const auto& event : events) PELTO_CHECK(handle(event), "serve the document");
      print_if_changed();
    }
    // Whatever answer is still queued goes out before leaving.
    (void)manager_.flush(std::chrono::milliseconds(1000));
    return {};
  }

 private:
  const collab::Route& route() const { return options_.address.route; }

  collab::DocumentMutationMessage snapshot() {
    return mutation(collab::DocumentMutation::Kind::snapshot, doc_.save());
  }

  void note(std::string_view message, std::initializer_list<log::Field> fields) {
    log::write(options_.print_changes ? log::Level::info : log::Level::debug, kTarget, message, fields);
  }

  Result<void> answer(const collab::CollabEvent& event, std::string_view asked_by) {
    auto message = snapshot();
    size_t bytes = message.mutation->bytes.size();
    // The answer goes to the asker's route, in this room.
    collab::Route to = route();
    if (event.sender) {
      to.app = event.sender->route.app;
      to.record = event.sender->route.record;
    }
    PELTO_CHECK(manager_.send_to_route(to, std::move(message)), "answer a request for the document");
    log::info(kTarget, "served the document",
              {{"to", event.sender ? event.sender->connection_id : std::string("unknown")},
               {"asked", asked_by},
               {"bytes", bytes}});
    return {};
  }

  Result<void> handle(const collab::CollabEvent& event) {
    if (event.get<collab::DocumentRequest>() != nullptr) return answer(event, "documentRequest");
    if (const auto* wanted = event.get<collab::DocumentWanted>()) {
      if (wanted->app == route().app && wanted->record == route().record)
        return answer(event, "documentWanted");
      return {};
    }
    if (!event.is_document_mutation()) return {};
    std::string from = event.sender ? event.sender->connection_id : std::string("unknown");
    if (event.sender && !same_document(event.sender->route, route())) {
      note("left a mutation of another document", {{"from", from}, {"of", collab::describe(event.sender->route)}});
      return {};
    }
    auto read = event.document_mutation();
    if (!read || !*read) {
      log::warn(kTarget, "dropped a document event without a mutation",
                {{"from", from}, {"reason", read ? std::string("no payload") : read.error().display()}});
      return {};
    }
    const auto& m = **read;
    bool is_snapshot = m.kind == collab::DocumentMutation::Kind::snapshot;
    auto taken = is_snapshot ? doc_.merge_snapshot(m.bytes) : doc_.apply_change(m.bytes);
    if (!taken) {
      log::warn(kTarget, is_snapshot ? "refused a snapshot" : "refused a change",
                {{"from", from}, {"bytes", m.bytes.size()}, {"reason", taken.error().display()}});
      return {};
    }
    note(is_snapshot ? "merged a snapshot" : "loaded a change",
         {{"from", from}, {"bytes", m.bytes.size()}, {"changed", *taken}});
    return {};
  }

  void print_if_changed() {
    auto blocks = doc_.blocks();
    if (printed_ && blocks == last_) return;
    std::fputs(render_blocks(blocks).c_str(), out_);
    std::fflush(out_);
    last_ = std::move(blocks);
    printed_ = true;
  }

  const ServeOptions& options_;
  RoomDocument doc_;
  collab::CollaborationManager manager_;
  std::FILE* out_;
  std::vector<BlockLine> last_;
  bool printed_ = false;
};

}  // namespace

Result<void> serve(const ServeOptions& options, std::FILE* out) {
  install_stop_handlers();
  PELTO_TRY(auto markdown, read_file(options.seed_path), "read the seed");
  PELTO_TRY(auto doc, RoomDocument::seeded(markdown, crdt::ActorId::random()), "seed the document");
  PELTO_TRY(auto manager, join_room(options.address, collab::Role::application, options.name),
            "join the room");
  log::info(kTarget, "serving the document",
            {{"app", options.address.route.app},
             {"room", collab::room_text(options.address.route.room)},
             {"record", options.address.route.record},
             {"blocks", doc.blocks().size()}});
  return Server(options, std::move(doc), std::move(manager), out).run();
}

}  // namespace pelto::room
