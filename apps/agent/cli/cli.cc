#include "apps/agent/cli/cli.h"

#include <string_view>

#include <CLI/CLI.hpp>
#include <uuid/uuid.h>

namespace pelto::agent {
namespace {

constexpr const char* kAbout =
    "A participant without a window: joins a word-processor document through the session's "
    "collaboration broker and carries out instructions written to it (\"Vesk: turn the bullets into "
    "a table\")";

constexpr const char* kModelTimeoutShort =
    "How long a model may take to choose before the keyword vocabulary decides instead. Short on "
    "purpose: an instruction must never wait on the network";
constexpr const char* kModelTimeoutLong =
    "How long a model may take to choose before the keyword vocabulary decides instead. Short on "
    "purpose: an instruction must never wait on the network.\n\n"
    "Bounds the retries too: a request an overloaded service turns away is made again with a short "
    "backoff, carved out of this deadline rather than added to it, so shortening this also shortens "
    "how long the agent will wait out a busy service.";

// Whether the help asked for is the long one: the first of -h / --help before a "--" decides.
bool wants_long_help(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (a == "--") return false;
    if (a == "--help") return true;
    if (a == "-h") return false;
  }
  return false;
}

class Formatter : public CLI::Formatter {
 public:
  // Value names in angle brackets, as the help shows them.
  std::string make_option_opts(const CLI::Option* opt) const override {
    std::string out;
    if (!opt->get_type_name().empty()) out += " <" + opt->get_type_name() + ">";
    if (!opt->get_default_str().empty()) out += " [default: " + opt->get_default_str() + "]";
    if (opt->get_required()) out += " (required)";
    return out;
  }
};

// CLI11 wraps "-1" and saturates past the maximum when reading an unsigned integer; an unsigned
// 64-bit count is digits only and at most 18446744073709551615.
const CLI::Validator kUnsigned(
    [](std::string& v) -> std::string {
      std::string_view digits = v;
      while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
      constexpr std::string_view kMax = "18446744073709551615";
      bool ok = !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos &&
                (digits.size() < kMax.size() || (digits.size() == kMax.size() && digits <= kMax));
      if (!ok) return "not an unsigned 64-bit integer: " + v;
      return {};
    },
    "");

}  // namespace

std::variant<CommandLine, ParseExit> parse_command_line(int argc, const char* const* argv) {
  CLI::App app(kAbout, "pelto-agent");
  app.formatter(std::make_shared<Formatter>());
  app.set_help_flag("-h,--help", "Print help");
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::Throw);

  std::string workspace;
  std::string record, app_id = "so.pelto.word-processor", name = "Vesk", endpoint;
  uint64_t pace_ms = 250, model_timeout_ms = 9000, await_ms = 60000, settle_ms = 0;
  bool once = false, task_runs = false, no_model = false;

  app.add_option("--workspace", workspace,
                 "The room (workspace) the document lives in — the `PELTO_WORKSPACE_ID` the app was "
                 "launched with")
      ->required()
      ->check(CLI::Validator(
          [](std::string& v) -> std::string {
            uuid_t parsed;
            if (uuid_parse(v.c_str(), parsed) != 0) return "not a UUID: " + v;
            return {};
          },
          ""))
      ->type_name("WORKSPACE");
  auto* record_opt = app.add_option("--record", record,
                 "The record the app announced for the document, e.g. "
                 "`file:/var/workspace/Demo/brief.docx`. Omit for an untitled document")
      ->type_name("RECORD");
  app.add_option("--app", app_id, "The app whose document this is (its manifest package id)")
      ->type_name("APP")
      ->capture_default_str();
  app.add_option("--name", name,
                 "The agent's name: its caret pill, its history author, and the word an instruction "
                 "starts with")
      ->type_name("NAME")
      ->capture_default_str();
  auto* endpoint_opt = app.add_option("--endpoint", endpoint,
                 "Explicit typed Cap'n Proto broker socket for headless diagnostics. Normal launched "
                 "sessions inherit `PELTO_SVC_COLLAB_FD` instead")
      ->type_name("ENDPOINT");
  app.add_option("--pace-ms", pace_ms,
                 "Pause between edits, in milliseconds, so the caret can be watched")
      ->check(kUnsigned)
      ->type_name("PACE_MS")
      ->capture_default_str();
  app.add_flag("--once", once, "Exit after the first instruction has been carried out");
  app.add_flag("--task-runs", task_runs,
               "Receive broker-minted Task Center leases instead of watching a document. This mode "
               "uses only the agent's admitted, permission- filtered action catalogue and cannot "
               "infer work from room traffic");
  app.add_flag("--no-model", no_model,
               "Decide by keyword only, without asking a model. The run is then reproducible and "
               "needs no network — and says so in its log");
  app.add_option("--model-timeout-ms", model_timeout_ms,
                 wants_long_help(argc, argv) ? kModelTimeoutLong : kModelTimeoutShort)
      ->check(kUnsigned)
      ->type_name("MODEL_TIMEOUT_MS")
      ->capture_default_str();
  app.add_option("--await-document-ms", await_ms,
                 "How long to wait for the room to answer with the document before giving up and "
                 "naming the address nobody answered on. `0` waits forever, which is right when the "
                 "document may not be open yet and wrong in a script")
      ->check(kUnsigned)
      ->type_name("AWAIT_DOCUMENT_MS")
      ->capture_default_str();
  app.add_option("--settle-ms", settle_ms,
                 "How long a paragraph must stop changing before it is read as a finished request, in "
                 "milliseconds. `0` acts on first sight, right for a page seeded before the agent joins")
      ->check(kUnsigned)
      ->type_name("SETTLE_MS")
      ->capture_default_str();
  // Flags only switch on: a repeated flag is a usage error like a repeated option.
  for (const char* flag : {"--once", "--task-runs", "--no-model"})
    app.get_option(flag)->multi_option_policy(CLI::MultiOptionPolicy::Throw)->expected(0, 1);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    return ParseExit{0, app.help(), {}};
  } catch (const CLI::CallForAllHelp&) {
    return ParseExit{0, app.help("", CLI::AppFormatMode::All), {}};
  } catch (const CLI::ParseError& e) {
    std::string usage = "Usage: pelto-agent --workspace <WORKSPACE> [OPTIONS]\n\nFor more information, try '--help'.\n";
    return ParseExit{2, {}, std::string("error: ") + e.what() + "\n\n" + usage};
  }
  for (const char* flag : {"--once", "--task-runs", "--no-model"}) {
    if (app.get_option(flag)->count() > 1)
      return ParseExit{2, {},
                       std::string("error: ") + flag +
                           " was given more than once\n\nUsage: pelto-agent --workspace <WORKSPACE> "
                           "[OPTIONS]\n\nFor more information, try '--help'.\n"};
  }

  CommandLine cl;
  Settings& s = cl.settings;
  uuid_t parsed;
  uuid_parse(workspace.c_str(), parsed);
  std::copy(std::begin(parsed), std::end(parsed), s.room.begin());
  s.app = app_id;
  s.name = name;
  if (*record_opt) s.record = record;
  if (*endpoint_opt) s.endpoint = endpoint;
  s.pace = duration_from_ms(pace_ms);
  s.model_timeout = duration_from_ms(model_timeout_ms);
  s.await_document = duration_from_ms(await_ms);
  s.settle = duration_from_ms(settle_ms);
  s.once = once;
  s.use_model = !no_model;
  cl.task_runs = task_runs;
  return cl;
}

}  // namespace pelto::agent
