// pelto-broker: the room broker for diagnostics, the demo and end-to-end tests.
//
//   pelto-broker --socket /tmp/room.sock          listen on a socket path (created with mode 0600)
//   pelto-broker --fd 3 --fd 4                    serve descriptors a launcher handed down: each is
//                                                 a connected participant, or a listening socket
//
// Both may be given together. A launcher that starts the broker itself makes a socket pair, keeps
// one end (or hands it to the agent through PELTO_SVC_COLLAB_FD) and passes the other with --fd; a
// launcher of an already running broker connects to its --socket path and hands the connected
// socket on. The broker runs until it is killed; a stale socket file at the path is replaced.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "interfaces/base/log.h"
#include "tools/broker/broker.h"

namespace {

using pelto::Result;
using pelto::collab::UniqueFd;

Result<UniqueFd> listen_on(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path)
    return pelto::failf("socket path \"{}\" is empty or longer than {} bytes", path, sizeof addr.sun_path - 1);
  std::memcpy(addr.sun_path, path.data(), path.size());
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) return pelto::failf("{} exists and is not a socket", path);
    ::unlink(path.c_str());
  }
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return pelto::failf("socket: {}", std::strerror(errno));
  // Created 0600 from the start: nobody else may connect between bind and chmod.
  mode_t old = ::umask(0177);
  int rc = ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
  int bind_errno = errno;
  ::umask(old);
  if (rc != 0) return pelto::failf("bind {}: {}", path, std::strerror(bind_errno));
  if (::listen(fd.get(), 64) != 0) return pelto::failf("listen on {}: {}", path, std::strerror(errno));
  return fd;
}

bool is_listening(int fd) {
  int yes = 0;
  socklen_t len = sizeof yes;
  return ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &yes, &len) == 0 && yes != 0;
}

}  // namespace

int main(int argc, char** argv) {
  pelto::log::install();
  CLI::App app{"pelto-broker: routes a collaboration room between its participants"};
  std::string socket_path;
  std::vector<std::string> fds;
  app.add_option("--socket", socket_path, "Unix socket path to listen on (created with mode 0600)");
  app.add_option("--fd", fds, "an inherited descriptor: a connected participant or a listening socket")
      ->take_all();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  if (socket_path.empty() && fds.empty()) {
    fmt::print(stderr, "Error: give --socket PATH, --fd N, or both\n");
    return 2;
  }

  pelto::broker::Broker broker;
  if (!socket_path.empty()) {
    auto fd = listen_on(socket_path);
    if (!fd) {
      fmt::print(stderr, "Error: {}\n", fd.error().display());
      return 1;
    }
    broker.add_listener(std::move(*fd), socket_path);
  }
  for (const auto& text : fds) {
    auto fd = pelto::collab::adopt_socket_fd(text, "--fd");
    if (!fd) {
      fmt::print(stderr, "Error: {}\n", fd.error().display());
      return 1;
    }
    std::string origin = "fd " + text;
    if (is_listening(fd->get())) {
      broker.add_listener(std::move(*fd), origin);
    } else if (auto r = broker.add_participant(std::move(*fd), origin); !r) {
      fmt::print(stderr, "Error: {}\n", r.error().display());
      return 1;
    }
  }
  while (true) {
    if (auto r = broker.step(-1); !r) {
      fmt::print(stderr, "Error: {}\n", r.error().display());
      return 1;
    }
  }
}
