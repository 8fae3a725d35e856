#include "interfaces/gateway/availability.h"

#include <uriparser/Uri.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

namespace pelto::gateway {
namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  std::ranges::transform(out, out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

std::string_view range_text(const UriTextRangeA& range) {
  if (!range.first || !range.afterLast) return {};
  return {range.first, static_cast<size_t>(range.afterLast - range.first)};
}

bool loopback_host(const UriUriA& uri) {
  if (uri.hostData.ip4) return uri.hostData.ip4->data[0] == 127;
  if (uri.hostData.ip6) {
    const unsigned char* b = uri.hostData.ip6->data;
    return std::all_of(b, b + 15, [](unsigned char c) { return c == 0; }) && b[15] == 1;
  }
  return lower(range_text(uri.hostText)) == "localhost";
}

bool key_present(const ProviderProfile& profile) {
  if (!profile.api_key_env) return false;
  const char* value = std::getenv(profile.api_key_env->c_str());
  return value && *value;
}

}  // namespace

Reach reach_of(std::string_view base_url) {
  std::string text(base_url);
  UriUriA uri;
  const char* error_at = nullptr;
  if (uriParseSingleUriA(&uri, text.c_str(), &error_at) != URI_SUCCESS) return Reach::Invalid;
  struct Freer {
    UriUriA* uri;
    ~Freer() { uriFreeUriMembersA(uri); }
  } freer{&uri};

  std::string scheme = lower(range_text(uri.scheme));
  if (scheme == "unix") return Reach::ThisMachine;
  if (scheme != "http" && scheme != "https") return Reach::Invalid;
  if (range_text(uri.hostText).empty() && !uri.hostData.ip4 && !uri.hostData.ip6) {
    return Reach::Invalid;
  }
  if (loopback_host(uri)) return Reach::ThisMachine;
  return scheme == "https" ? Reach::RemoteEncrypted : Reach::RemoteCleartext;
}

bool available(const std::optional<ModelTarget>& target) {
  if (!target) return false;
  switch (reach_of(target->profile.base_url)) {
    case Reach::ThisMachine:
      return true;
    case Reach::RemoteEncrypted:
      return key_present(target->profile);
    case Reach::RemoteCleartext:
    case Reach::Invalid:
      return false;
  }
  return false;
}

}  // namespace pelto::gateway
