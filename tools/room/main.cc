// pelto-room: a scripted participant of a room, for diagnostics, the demo and end-to-end tests.
//   serve   hold a document seeded from markdown and print its blocks whenever they change
//   write   add a paragraph to the served document, as a person typing it
//   launch  start pelto-agent with a connected broker socket, the way a workspace session does
// Failures print "Error: " and the reason and exit 1; usage errors exit 2.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "interfaces/base/error.h"
#include "interfaces/base/log.h"
#include "interfaces/collab/route.h"
#include "tools/room/launch.h"
#include "tools/room/serve.h"
#include "tools/room/write.h"

namespace {

using namespace pelto;

struct AddressOptions {
  std::string socket;
  std::string workspace;
  std::string app = room::kDefaultApp;
  std::string record;
  CLI::Option* record_given = nullptr;
};

void add_address(CLI::App& cmd, AddressOptions& a) {
  cmd.add_option("--socket", a.socket, "The broker's socket path")->required()->type_name("PATH");
  cmd.add_option("--workspace", a.workspace, "The room's UUID")->required()->type_name("UUID");
  cmd.add_option("--app", a.app, "The document's app")->capture_default_str()->type_name("APP");
  a.record_given = cmd.add_option("--record", a.record, "The document's record (none: an untitled document)")
      ->type_name("RECORD");
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "Error: %s\nRun 'pelto-room --help' for usage.\n", message.c_str());
  return 2;
}

int failure(const Error& error) {
  std::fprintf(stderr, "Error: %s\n", error.display().c_str());
  return 1;
}

// The address, or a usage error (the room id is not a UUID).
std::optional<room::RoomAddress> address_of(const AddressOptions& a) {
  auto id = collab::parse_room(a.workspace);
  if (!id) return std::nullopt;
  std::optional<std::string> record;
  if (*a.record_given) record = a.record;
  return room::RoomAddress{a.socket, collab::Route{a.app, *id, record}};
}

}  // namespace

int main(int argc, char** argv) {
  log::install();
  CLI::App app{"A scripted participant of a room: serve a document, write into it, launch the agent"};
  app.require_subcommand(1);

  AddressOptions serve_address;
  room::ServeOptions serve_options;
  auto* serve = app.add_subcommand("serve", "Hold a document seeded from markdown and print its blocks");
  add_address(*serve, serve_address);
  serve->add_option("--seed", serve_options.seed_path, "Markdown file to seed the document from")
      ->required()
      ->type_name("FILE.md");
  serve->add_option("--name", serve_options.name, "Connection id")->capture_default_str();
  serve->add_flag("--print-changes", serve_options.print_changes, "Log every mutation taken or refused");

  AddressOptions write_address;
  room::WriteOptions write_options;
  int64_t timeout_ms = 5000, pace_ms = 0;
  auto* write = app.add_subcommand("write", "Add a paragraph to the served document, as a person");
  add_address(*write, write_address);
  write->add_flag("--per-character", write_options.per_character, "One change per character");
  write->add_option("--name", write_options.name, "Connection id")->capture_default_str();
  write->add_option("--timeout-ms", timeout_ms, "How long to wait for the document, and for sending")
      ->check(CLI::Range(int64_t{1}, int64_t{3'600'000}))
      ->capture_default_str();
  write->add_option("--pace-ms", pace_ms, "Pause between two changes")
      ->check(CLI::Range(int64_t{0}, int64_t{60'000}))
      ->capture_default_str();
  write->add_option("TEXT", write_options.text, "The paragraph's text")->required();

  room::LaunchOptions launch_options;
  auto* launch = app.add_subcommand("launch", "Start pelto-agent with a connected broker socket");
  launch->add_option("--socket", launch_options.socket, "The broker's socket path")
      ->required()
      ->type_name("PATH");
  launch->add_option("--agent", launch_options.agent, "The agent program")
      ->default_str(room::default_agent_path())
      ->type_name("PATH");
  launch->add_option("AGENT-ARGS", launch_options.args, "Arguments for the agent, after --");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return 0;
  } catch (const CLI::CallForAllHelp&) {
    std::fputs(app.help("", CLI::AppFormatMode::All).c_str(), stdout);
    return 0;
  } catch (const CLI::ParseError& e) {
    return usage_error(e.what());
  }

  if (serve->parsed()) {
    auto address = address_of(serve_address);
    if (!address) return usage_error("--workspace: not a UUID: " + serve_address.workspace);
    serve_options.address = *address;
    if (auto r = room::serve(serve_options, stdout); !r) return failure(r.error());
    return 0;
  }
  if (write->parsed()) {
    auto address = address_of(write_address);
    if (!address) return usage_error("--workspace: not a UUID: " + write_address.workspace);
    if (write_options.text.empty()) return usage_error("TEXT: the paragraph's text is empty");
    write_options.address = *address;
    write_options.timeout = std::chrono::milliseconds(timeout_ms);
    write_options.pace = std::chrono::milliseconds(pace_ms);
    auto sent = room::write(write_options);
    if (!sent) return failure(sent.error());
    std::printf("sent %zu change%s\n", *sent, *sent == 1 ? "" : "s");
    return 0;
  }
  auto status = room::launch(launch_options);
  if (!status) return failure(status.error());
  return *status;
}
