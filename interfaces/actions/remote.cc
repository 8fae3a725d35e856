#include "interfaces/actions/remote.h"

namespace pelto::actions::remote {

bool workspace_provider_room(std::string_view room) {
  if (room.size() != kWorkspaceProviderRoom.size()) return false;
  for (size_t i = 0; i < room.size(); ++i) {
    char c = room[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kWorkspaceProviderRoom[i]) return false;
  }
  return true;
}

}  // namespace pelto::actions::remote
