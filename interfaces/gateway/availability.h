#pragma once
// Whether a model target can be asked at all, judged on this machine without any network traffic:
// its credentials are at hand, or it needs none.
//
// A profile needs no key when its service runs on this machine (base URL on localhost, a loopback
// address 127.0.0.0/8 or ::1, or a unix socket). Any other service needs its key: the variable that
// api_key_env names must be set and non-empty. A key is never offered to another machine over plain
// http, so such a profile is not available even with its key set. Reads the process environment.
#include <optional>
#include <string_view>

#include "interfaces/gateway/provider_config.h"

namespace pelto::gateway {

// Where a base URL points, as far as sending a key is concerned.
enum class Reach { ThisMachine, RemoteEncrypted, RemoteCleartext, Invalid };
Reach reach_of(std::string_view base_url);

// True only with a target whose credentials are present (or not needed).
bool available(const std::optional<ModelTarget>& target);

}  // namespace pelto::gateway
