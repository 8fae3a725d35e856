#include "interfaces/actions/contract.h"

#include <fmt/format.h>

namespace pelto::actions {

std::string_view name_of(Retry retry) {
  switch (retry) {
    case Retry::Idempotent: return "Idempotent";
    case Retry::RetryWithInvocationId: return "RetryWithInvocationId";
    case Retry::AtMostOnce: return "AtMostOnce";
  }
  return "AtMostOnce";
}

std::string_view name_of(Risk risk) {
  switch (risk) {
    case Risk::None: return "None";
    case Risk::Low: return "Low";
    case Risk::Destructive: return "Destructive";
    case Risk::Privileged: return "Privileged";
    case Risk::Sensitive: return "Sensitive";
  }
  return "None";
}

std::string_view name_of(Permission permission) {
  switch (permission) {
    case Permission::None: return "None";
    case Permission::Read: return "Read";
    case Permission::Comment: return "Comment";
    case Permission::Write: return "Write";
    case Permission::Invite: return "Invite";
    case Permission::Admin: return "Admin";
  }
  return "None";
}

std::string debug_quote(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          out += fmt::format("\\u{{{:x}}}", c);
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

namespace {
std::string with_fields(std::string_view name, std::string_view fields) {
  return fmt::format("{} {{ {} }}", name, fields);
}
std::string boolean(bool b) { return b ? "true" : "false"; }
}  // namespace

std::string debug_form(const Confirmation& c) {
  switch (c.kind) {
    case Confirmation::Kind::None: return "None";
    case Confirmation::Kind::Confirm: return "Confirm";
    case Confirmation::Kind::Phrase: return with_fields("Phrase", "phrase: " + debug_quote(c.phrase));
  }
  return "None";
}

std::string debug_form(const Execution& e) {
  switch (e.kind) {
    case Execution::Kind::Immediate: return "Immediate";
    case Execution::Kind::Background:
      return with_fields("Background", "cancellable: " + boolean(e.cancellable));
    case Execution::Kind::Streaming:
      return with_fields("Streaming", fmt::format("cancellable: {}, item_schema: {}", boolean(e.cancellable),
                                                  e.item_schema.dump()));
  }
  return "Immediate";
}

std::string debug_form(const ActionResult& r) {
  switch (r.kind) {
    case ActionResult::Kind::None: return "None";
    case ActionResult::Kind::Resource:
      return with_fields("Resource", "resource_kind: " + debug_quote(r.resource_kind));
    case ActionResult::Kind::Job: return "Job";
    case ActionResult::Kind::Json: return with_fields("Json", "schema: " + r.schema.dump());
  }
  return "None";
}

}  // namespace pelto::actions
