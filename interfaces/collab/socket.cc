#include "interfaces/collab/socket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace pelto::collab {

void UniqueFd::reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Result<UniqueFd> connect_unix(std::string_view path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.empty()) return fail("an empty socket path");
  if (path.size() >= sizeof addr.sun_path)
    return failf("socket path {} is longer than {} bytes", path, sizeof addr.sun_path - 1);
  std::memcpy(addr.sun_path, path.data(), path.size());
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return failf("socket: {}", std::strerror(errno));
  int rc;
  do {
    rc = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return failf("connect to {}: {}", path, std::strerror(errno));
  return fd;
}

Result<UniqueFd> adopt_socket_fd(std::string_view number, std::string_view origin) {
  int fd = -1;
  auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), fd);
  if (ec != std::errc{} || end != number.data() + number.size() || fd < 0)
    return failf("{} does not hold a descriptor number: \"{}\"", origin, number);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return failf("descriptor {} from {} is not open: {}", fd, origin, std::strerror(errno));
  if (!S_ISSOCK(st.st_mode)) return failf("descriptor {} from {} is not a socket", fd, origin);
  int type = 0;
  socklen_t len = sizeof type;
  if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) != 0 || type != SOCK_STREAM)
    return failf("descriptor {} from {} is not a stream socket", fd, origin);
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  return UniqueFd(fd);
}

Result<UniqueFd> inherited_collab_fd() {
  const char* value = std::getenv(kCollabFdVariable);
  if (value == nullptr || *value == '\0') return failf("{} is not set", kCollabFdVariable);
  return adopt_socket_fd(value, kCollabFdVariable);
}

Result<void> set_nonblocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
    return failf("make descriptor {} non-blocking: {}", fd, std::strerror(errno));
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  return {};
}

}  // namespace pelto::collab
