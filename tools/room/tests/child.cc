#include "tools/room/tests/child.h"

#include "interfaces/base/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <thread>

extern char** environ;

namespace pelto::room::testing {

using Clock = std::chrono::steady_clock;

Result<Child> Child::start(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env) {
  if (argv.empty()) return fail("no program to start");
  std::vector<std::string> env = child_environment(extra_env);
  std::vector<char*> envp;
  for (auto& kv : env) envp.push_back(kv.data());
  envp.push_back(nullptr);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int out_pipe[2], err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) return failf("pipe: {}", std::strerror(errno));
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
    ::close(out_pipe[0]);
    ::close(out_pipe[1]);
    return failf("pipe: {}", std::strerror(errno));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  if (rc != 0) {
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    return failf("start {}: {}", argv[0], std::strerror(rc));
  }
  return Child(pid, out_pipe[0], err_pipe[0]);
}

Child::Child(Child&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      out_fd_(std::exchange(other.out_fd_, -1)),
      err_fd_(std::exchange(other.err_fd_, -1)),
      out_(std::move(other.out_)),
      err_(std::move(other.err_)),
      status_(other.status_) {}

Child::~Child() {
  if (pid_ > 0 && !status_) stop();
  if (out_fd_ >= 0) ::close(out_fd_);
  if (err_fd_ >= 0) ::close(err_fd_);
}

bool Child::pump(int wait_ms) {
  pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
  if (out_fd_ < 0 && err_fd_ < 0) return false;
  int n = ::poll(fds, 2, wait_ms);
  if (n <= 0) return true;
  int* fd_of[2] = {&out_fd_, &err_fd_};
  std::string* sink[2] = {&out_, &err_};
  char buf[65536];
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
    if (got > 0) {
      sink[i]->append(buf, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      ::close(*fd_of[i]);
      *fd_of[i] = -1;
    }
  }
  return true;
}

bool Child::wait_for(const std::string& stream, std::string_view text, std::chrono::milliseconds within,
                     size_t from) {
  auto deadline = Clock::now() + within;
  for (;;) {
    if (stream.size() > from && stream.find(text, from) != std::string::npos) return true;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    if (!pump(static_cast<int>(std::min<int64_t>(left, 100)))) return false;
  }
}

bool Child::wait_for_out(std::string_view text, std::chrono::milliseconds within, size_t from) {
  return wait_for(out_, text, within, from);
}
bool Child::wait_for_err(std::string_view text, std::chrono::milliseconds within, size_t from) {
  return wait_for(err_, text, within, from);
}

void Child::reap(int status) {
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  // What the child wrote before it ended (a grandchild may hold the pipes open: not for long).
  auto deadline = Clock::now() + std::chrono::seconds(1);
  while ((out_fd_ >= 0 || err_fd_ >= 0) && Clock::now() < deadline) pump(50);
}

std::optional<int> Child::wait(std::chrono::milliseconds within) {
  if (status_) return status_;
  auto deadline = Clock::now() + within;
  for (;;) {
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      reap(status);
      return status_;
    }
    if (r < 0 && errno != EINTR) return std::nullopt;
    if (Clock::now() >= deadline) return std::nullopt;
    // Keep the pipes drained so the child is never blocked writing.
    if (!pump(10)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int Child::stop() {
  if (status_) return *status_;
  ::kill(pid_, SIGTERM);
  if (auto s = wait(std::chrono::seconds(5))) return *s;
  ::kill(pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  reap(status);
  return *status_;
}

}  // namespace pelto::room::testing
