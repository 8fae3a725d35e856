#pragma once
// Unix stream sockets for the room: an owning descriptor, connecting to a socket path, and taking over
// the connected socket a launching session handed down through PELTO_SVC_COLLAB_FD.
#include <string>
#include <string_view>
#include <utility>

#include "interfaces/base/error.h"

namespace pelto::collab {

// The environment variable that holds the descriptor of an already connected broker socket.
inline constexpr const char* kCollabFdVariable = "PELTO_SVC_COLLAB_FD";

// Owns one descriptor and closes it once. Move-only.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void reset();

 private:
  int fd_ = -1;
};

// Connects a Unix stream socket to `path` (blocking connect; the socket is close-on-exec).
// Errors name the path and the system's reason ("connect to /x: No such file or directory").
Result<UniqueFd> connect_unix(std::string_view path);

// Takes over the descriptor whose number PELTO_SVC_COLLAB_FD holds: it must be set, be a number, and
// name an open stream socket. The descriptor is marked close-on-exec so children do not inherit it.
Result<UniqueFd> inherited_collab_fd();
// The same check for a descriptor number given as text (what the variable would hold).
Result<UniqueFd> adopt_socket_fd(std::string_view number, std::string_view origin);

// Makes a descriptor non-blocking and close-on-exec.
Result<void> set_nonblocking(int fd);

}  // namespace pelto::collab
