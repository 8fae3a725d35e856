#include "tools/room/launch.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "interfaces/collab/socket.h"

extern char** environ;

namespace pelto::room {
namespace {

volatile sig_atomic_t g_child = 0;

void pass_on(int signal) {
  if (g_child > 0) ::kill(static_cast<pid_t>(g_child), signal);
}

// The environment of this process with PELTO_SVC_COLLAB_FD set to `fd`.
std::vector<std::string> child_environment(int fd) {
  std::vector<std::string> env;
  std::string prefix = std::string(collab::kCollabFdVariable) + "=";
  for (char** e = environ; *e != nullptr; ++e)
    if (!std::string_view(*e).starts_with(prefix)) env.emplace_back(*e);
  env.push_back(prefix + std::to_string(fd));
  return env;
}

}  // namespace

std::string default_agent_path() {
#ifdef PELTO_ROOM_AGENT_PATH
  if (std::error_code ec; std::filesystem::exists(PELTO_ROOM_AGENT_PATH, ec)) return PELTO_ROOM_AGENT_PATH;
#endif
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "pelto-agent";
  return (self.parent_path() / "pelto-agent").string();
}

Result<int> launch(const LaunchOptions& options) {
  std::string agent = options.agent.empty() ? default_agent_path() : options.agent;
  PELTO_TRY(auto socket, collab::connect_unix(options.socket), "connect to the broker");
  // The one descriptor the agent inherits: connect_unix made it close-on-exec.
  int flags = ::fcntl(socket.get(), F_GETFD);
  if (flags < 0 || ::fcntl(socket.get(), F_SETFD, flags & ~FD_CLOEXEC) != 0)
    return failf("hand the broker socket down: {}", std::strerror(errno));

  std::vector<std::string> argv{agent};
  argv.insert(argv.end(), options.args.begin(), options.args.end());
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  auto env_strings = child_environment(socket.get());
  std::vector<char*> envp;
  for (auto& e : env_strings) envp.push_back(e.data());
  envp.push_back(nullptr);

  struct sigaction sa {};
  sa.sa_handler = pass_on;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  // Held back until the child's id is known, so no signal meant for the agent is lost; the agent
  // starts with the mask this process had.
  sigset_t stop_signals, old_mask;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop_signals, &old_mask);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setsigmask(&attr, &old_mask);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  int rc = ::posix_spawnp(&pid, agent.c_str(), nullptr, &attr, args.data(), envp.data());
  posix_spawnattr_destroy(&attr);
  if (rc == 0) g_child = pid;
  sigprocmask(SIG_SETMASK, &old_mask, nullptr);
  // The socket now belongs to the agent: when it leaves, the broker sees it leave.
  socket.reset();
  if (rc != 0) return failf("start {}: {}", agent, std::strerror(rc));

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return failf("wait for {}: {}", agent, std::strerror(errno));
  }
  g_child = 0;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace pelto::room
