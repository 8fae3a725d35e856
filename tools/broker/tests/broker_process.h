#pragma once
// Test support: a real pelto-broker process on a socket path in a fresh directory, and a scripted
// participant over the real collaboration client. Used by the broker's and the agent wire's tests.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/collab/manager.h"

namespace pelto::testing {

// Every wait in these tests is bounded by this; reaching it is a failure, not a measurement.
inline constexpr auto kPatience = std::chrono::seconds(10);

class BrokerProcess {
 public:
  // Starts `binary --socket DIR/room.sock` plus, for each of `handed`, "--fd N" with that descriptor
  // inherited under the same number.
  explicit BrokerProcess(const std::string& binary, std::vector<int> handed = {}, bool with_socket = true) {
    char tmpl[] = "/tmp/pelto-broker-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    socket_path_ = dir_ + "/room.sock";
    log_path_ = dir_ + "/broker.log";
    std::vector<std::string> args = {binary};
    if (with_socket) args.insert(args.end(), {"--socket", socket_path_});
    for (int fd : handed) args.insert(args.end(), {"--fd", std::to_string(fd)});
    pid_ = ::fork();
    if (pid_ == 0) {
      int log = ::open(log_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(log, 2);
      for (int fd : handed) ::fcntl(fd, F_SETFD, 0);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    if (with_socket) {
      auto deadline = std::chrono::steady_clock::now() + kPatience;
      while (std::chrono::steady_clock::now() < deadline && !collab::connect_unix(socket_path_))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~BrokerProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  BrokerProcess(const BrokerProcess&) = delete;
  BrokerProcess& operator=(const BrokerProcess&) = delete;

  const std::string& socket_path() const { return socket_path_; }
  pid_t pid() const { return pid_; }
  std::string log() const {
    std::ifstream in(log_path_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Waits until the broker's log holds `text`.
  bool log_shows(const std::string& text) const {
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
      if (log().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

 private:
  std::string dir_, socket_path_, log_path_;
  pid_t pid_ = -1;
};

// A participant driven by the test: what it received is kept in order in `seen`.
class Scripted {
 public:
  Scripted(collab::CollaborationManager manager) : manager(std::move(manager)) {}

  static Result<Scripted> connect(const std::string& path, collab::Route route, collab::Role role,
                                  std::string id, bool join = true) {
    PELTO_TRY(auto fd, collab::connect_unix(path), "connect");
    PELTO_TRY(auto m, collab::CollaborationManager::for_route_from(route, role, std::move(id),
                                                                   collab::ConnectedSocket{std::move(fd)}),
              "open");
    if (join) PELTO_CHECK(m.join_route(route.room), "join");
    return Scripted(std::move(m));
  }

  // Polls until an event satisfying `pred` has arrived; returns it and keeps everything seen so far
  // (it included) in `seen`. nullopt when the patience runs out or the connection fails.
  std::optional<collab::CollabEvent> wait_for(const std::function<bool(const collab::CollabEvent&)>& pred) {
    for (size_t i = checked_; i < seen.size(); ++i)
      if (pred(seen[i])) {
        checked_ = i + 1;
        return seen[i];
      }
    checked_ = seen.size();
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
      auto events = manager.poll();
      if (!events) {
        failure = events.error().display();
        return std::nullopt;
      }
      for (auto& e : *events) {
        seen.push_back(std::move(e));
        if (pred(seen.back())) {
          checked_ = seen.size();
          return seen.back();
        }
      }
      checked_ = seen.size();
      pollfd p{manager.fd(), POLLIN, 0};
      ::poll(&p, 1, 5);
    }
    return std::nullopt;
  }
  template <class T>
  std::optional<collab::CollabEvent> wait_for_kind() {
    return wait_for([](const collab::CollabEvent& e) { return e.get<T>() != nullptr; });
  }
  // The first event of kind T seen so far, or nullptr.
  template <class T>
  const collab::CollabEvent* first() const {
    for (const auto& e : seen)
      if (e.get<T>() != nullptr) return &e;
    return nullptr;
  }
  // How many events of kind T were seen (so far, in `seen`).
  template <class T>
  size_t count() const {
    size_t n = 0;
    for (const auto& e : seen) n += e.get<T>() != nullptr;
    return n;
  }

  collab::CollaborationManager manager;
  std::deque<collab::CollabEvent> seen;
  std::string failure;

 private:
  size_t checked_ = 0;
};

}  // namespace pelto::testing
