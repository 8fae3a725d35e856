#pragma once
// A long-running child process for end-to-end tests: started with its standard output and error on
// pipes, read until a text appears (with a deadline), stopped with SIGTERM when the test is done
// (SIGKILL if it does not go), and always reaped.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interfaces/base/error.h"

namespace pelto::room::testing {

class Child {
 public:
  // `extra_env` as run_capture takes it ("KEY=value").
  static Result<Child> start(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env = {});

  Child(Child&& other) noexcept;
  Child& operator=(Child&&) = delete;
  Child(const Child&) = delete;
  ~Child();

  // Reads until `text` occurs in standard output (or error) at or after byte `from`; false when the
  // deadline passes or the child closes the stream first.
  bool wait_for_out(std::string_view text, std::chrono::milliseconds within = std::chrono::seconds(10),
                    size_t from = 0);
  bool wait_for_err(std::string_view text, std::chrono::milliseconds within = std::chrono::seconds(10),
                    size_t from = 0);
  // SIGTERM, then waits for the exit (SIGKILL after 5 s); gives the status (128 + signal if killed).
  int stop();
  // Waits for the child to end by itself, at most `within`; nothing when it is still running.
  std::optional<int> wait(std::chrono::milliseconds within);

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }
  pid_t pid() const { return pid_; }

 private:
  Child(pid_t pid, int out_fd, int err_fd) : pid_(pid), out_fd_(out_fd), err_fd_(err_fd) {}
  // Reads what is there (waiting at most `wait_ms`); false when both streams are closed.
  bool pump(int wait_ms);
  bool wait_for(const std::string& stream, std::string_view text, std::chrono::milliseconds within, size_t from);
  void reap(int status);

  pid_t pid_ = -1;
  int out_fd_ = -1, err_fd_ = -1;
  std::string out_, err_;
  std::optional<int> status_;
};

}  // namespace pelto::room::testing
