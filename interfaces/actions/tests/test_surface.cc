#include "interfaces/actions/tests/test_surface.h"

#include <openssl/sha.h>

#include <fmt/format.h>

namespace pelto::actions::testing {

namespace {

using json = nlohmann::json;

Encoded document_action(json payload) { return resource::enforce_operation_type(kNotesAction, std::move(payload)); }

std::string sha256_hex(std::string_view text) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
  std::string hex;
  for (unsigned char b : digest) hex += fmt::format("{:02x}", b);
  return hex;
}

const json kLinesSchema = {
    {"type", "array"},
    {"minItems", 1},
    {"maxItems", 3},
    {"uniqueItems", true},
    {"items", {{"type", "string"}, {"minLength", 1}, {"maxLength", 20}}},
};

Resource board(SurfaceOptions options) {
  ActionSpec rename = ActionSpec("rename", "Rename board")
                          .with_description("Give the board a new title")
                          .with_text_input(TextInput{"Title", "board title…", "", true}, [](std::string_view text) {
                            return document_action({{"SetTitle", {{"title", text}}}});
                          });
  ActionSpec add_lines =
      ActionSpec("add-lines", "Add lines")
          .with_param(ActionParam::of("lines", ParamType::Array, "The lines to add", true).with_schema(kLinesSchema))
          .with_param(ActionParam::text("tag", "A lower-case tag", false)
                          .with_schema({{"type", "string"}, {"pattern", "^[a-z]+$"}}))
          .with_param(ActionParam::of("repeat", ParamType::Integer, "How often", false)
                          .with_schema({{"type", "integer"}, {"minimum", 1}, {"maximum", 3}}))
          .with_param(ActionParam::of("urgent", ParamType::Boolean, "Mark them urgent", false))
          .with_param(ActionParam::text("colour", "Ink", false).with_choices({"red", "blue"}))
          .with_encoder([](const ActionArgs& args) {
            std::vector<std::string> lines = args.texts("lines").value_or(std::vector<std::string>{});
            std::string tag = args.text("tag").value_or("");
            json out = json::array();
            for (int64_t i = 0; i < args.integer("repeat").value_or(1); ++i) {
              for (const auto& l : lines) out.push_back(tag.empty() ? l : tag + ": " + l);
            }
            return document_action({{"AppendLines", {{"lines", out}}}});
          });
  auto clear_all = [](const ActionArgs&) { return document_action("Clear"); };
  ActionSpec clear = ActionSpec("clear", "Clear the lines").with_encoder(clear_all).destructive();
  ActionSpec reset =
      ActionSpec("reset", "Reset board").with_encoder(clear_all).with_confirmation(Confirmation::confirm());
  ActionSpec wipe = ActionSpec("wipe", "Wipe board")
                        .with_encoder(clear_all)
                        .destructive()
                        .with_confirmation(Confirmation::with_phrase(std::string(kWipePhrase)));
  ActionSpec place = ActionSpec("place", "Place content")
                         .with_content_input("The content to place on the board")
                         .with_encoder([](const ActionArgs& args) -> Encoded {
                           auto hash = args.text("value");
                           if (!hash) return std::unexpected(ActionError::invalid_arguments("no content to place"));
                           return document_action({{"Place", {{"hash", *hash}}}});
                         });
  ActionSpec show = ActionSpec("show", "Show board")
                        .with_permission(Permission::Read)
                        .with_risk(Risk::None)
                        .with_retry(Retry::Idempotent)
                        .with_contract({std::string(kNotesOperation), {"device-local", "presentation"}})
                        .with_note("Shows the board on the device that runs the notes application")
                        .with_encoder([](const ActionArgs&) {
                          return resource::enforce_operation_type(kNotesOperation, json("ShowBoard"));
                        });
  if (!options.show_available) show = show.unavailable("no_display", "No display is attached.");
  // Declares a device operation but encodes a document action: the contract must catch it.
  ActionSpec misdeclared = ActionSpec("print", "Print board")
                               .with_contract({std::string(kNotesOperation), {"device-local"}})
                               .with_encoder(clear_all);

  Resource root = Resource("notes.board", "notes.board", "Board")
                      .with_fact("Holds the shared lines")
                      .with_action(rename)
                      .with_action(add_lines)
                      .with_action(clear)
                      .with_action(reset)
                      .with_action(wipe)
                      .with_action(place)
                      .with_action(show)
                      .with_action(misdeclared);
  if (options.with_note) {
    ActionSpec scribble = ActionSpec("scribble", "Scribble").with_encoder([](const ActionArgs&) {
      return document_action("Scribble");
    });
    Resource meta = Resource("notes.note:n1#meta", "notes.meta", "Note details").with_action(scribble);
    ActionSpec export_note = ActionSpec("export", "Export note")
                                 .returns(std::string(kContentKind))
                                 .execution_class(Execution::background(true))
                                 .with_encoder([](const ActionArgs&) { return document_action("Export"); });
    root = root.with_child(
        Resource("notes.note:n1", "notes.note", "First note").with_action(export_note).with_child(meta));
  }
  return root;
}

// Reads {"Variant": {...}} or "Variant".
std::pair<std::string, json> variant(const json& payload) {
  if (payload.is_string()) return {payload.get<std::string>(), json::object()};
  if (payload.is_object() && payload.size() == 1) return {payload.begin().key(), payload.begin().value()};
  return {"", json()};
}

Result<ExecutorAnswer> execute(crdt::Document& doc, const ExecutionRequest& request) {
  auto [name, fields] = variant(request.payload);
  const auto root = crdt::ObjId::root();
  if (name == "SetTitle") {
    PELTO_CHECK(doc.put(root, "title", crdt::Scalar(fields.value("title", ""))), "set the title");
    return ExecutorAnswer::done();
  }
  if (name == "AppendLines") {
    crdt::ObjId list;
    if (auto v = doc.get(root, "lines"); v && v->object()) {
      list = *v->object();
    } else {
      PELTO_TRY(list, doc.put_object(root, "lines", crdt::ObjType::List), "make the lines");
    }
    for (const auto& line : fields["lines"]) {
      PELTO_CHECK(doc.insert(list, doc.length(list), crdt::Scalar(line.get<std::string>())), "add a line");
    }
    return ExecutorAnswer::done();
  }
  if (name == "Clear") {
    if (!doc.get(root, "lines")) return ExecutorAnswer::refused("the board has no lines to clear");
    PELTO_CHECK(doc.delete_key(root, "lines"), "clear the lines");
    return ExecutorAnswer::done();
  }
  if (name == "Place") {
    PELTO_CHECK(doc.put(root, "placed", crdt::Scalar(fields.value("hash", ""))), "place the content");
    return ExecutorAnswer::done();
  }
  if (name == "Export") {
    ExecutorAnswer answer;
    answer.resources.push_back(outcome::content_resource(sha256_hex(title_of(doc)), "Exported note"));
    return answer;
  }
  if (name == "Scribble") {
    // A careless executor: writes, then refuses. The door must not let the write stand.
    PELTO_CHECK(doc.put(root, "scratch", crdt::Scalar(std::string("x"))), "scribble");
    return ExecutorAnswer::refused("scribbling is not allowed here");
  }
  return fail("not a notes action: " + request.payload.dump());
}

}  // namespace

std::vector<Resource> notes_surface(SurfaceOptions options) {
  Resource archive = Resource("notes.archive", "notes.archive", "Archive")
                         .with_action(ActionSpec("open", "Open archive")
                                          .with_permission(Permission::Read)
                                          .with_contract({std::string(kNotesOperation), {"device-local"}})
                                          .with_encoder([](const ActionArgs&) {
                                            return resource::enforce_operation_type(kNotesOperation,
                                                                                    json("OpenArchive"));
                                          }));
  return {board(options), archive};
}

Result<void> register_notes(ActionRegistry& registry) { return registry.add(std::string(kNotesAction), execute); }

std::string title_of(const crdt::Document& doc) {
  auto v = doc.get(crdt::ObjId::root(), "title");
  return v ? v->as_string().value_or("") : "";
}

std::vector<std::string> lines_of(const crdt::Document& doc) {
  std::vector<std::string> out;
  auto v = doc.get(crdt::ObjId::root(), "lines");
  if (!v || !v->object()) return out;
  for (size_t i = 0; i < doc.length(*v->object()); ++i) {
    out.push_back(doc.get(*v->object(), i)->as_string().value_or(""));
  }
  return out;
}

}  // namespace pelto::actions::testing
