#include "interfaces/actions/strict_json.h"

#include <set>
#include <vector>

#include <fmt/format.h>

namespace pelto::actions {

Result<nlohmann::ordered_json> parse_json_strict(std::string_view text) {
  using json = nlohmann::ordered_json;
  // One set of seen keys per open object; arrays hold a placeholder so depths line up.
  std::vector<std::set<std::string>> open;
  std::optional<std::string> problem;
  auto callback = [&](int depth, json::parse_event_t event, json& parsed) -> bool {
    switch (event) {
      case json::parse_event_t::object_start:
      case json::parse_event_t::array_start:
        if (static_cast<size_t>(depth) >= kMaxJsonDepth && !problem) {
          problem = fmt::format("the JSON is nested deeper than {} levels", kMaxJsonDepth);
        }
        open.emplace_back();
        break;
      case json::parse_event_t::object_end:
      case json::parse_event_t::array_end:
        if (!open.empty()) open.pop_back();
        break;
      case json::parse_event_t::key:
        if (!open.empty() && !open.back().insert(parsed.get<std::string>()).second && !problem) {
          problem = fmt::format("the key {} is given twice in one object", parsed.dump());
        }
        break;
      case json::parse_event_t::value: break;
    }
    return true;
  };
  json out;
  try {
    out = json::parse(text.begin(), text.end(), callback, /*allow_exceptions=*/true);
  } catch (const json::exception& e) {
    return failf("the JSON does not parse: {}", e.what());
  }
  if (problem) return fail(*problem);
  return out;
}

}  // namespace pelto::actions
