// Owns one child process: it is never left running or unreaped.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>

#include "hostsim/unique_fd.h"

namespace hostsim {

struct ExitInfo {
  int exit_status = -1;  // -1 when a signal ended the process
  int term_signal = 0;
};

ExitInfo decode_wait_status(int status);

class ChildProcess {
 public:
  // Runs `in_child` in a forked child; should it return, the child exits
  // with status 125.  Throws std::runtime_error when fork() fails.
  static ChildProcess spawn(const std::function<void()>& in_child);

  ChildProcess(ChildProcess&&) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();  // kills and reaps a child still running

  // Becomes readable when the child has ended; for poll().
  int exit_fd() const { return pidfd_.get(); }
  // The exit, once the child has ended and been reaped.
  std::optional<ExitInfo> try_reap();
  ExitInfo kill_and_reap();

 private:
  ChildProcess(pid_t pid, UniqueFd pidfd) : pid_(pid), pidfd_(std::move(pidfd)) {}
  ExitInfo reap_blocking();

  pid_t pid_ = -1;
  UniqueFd pidfd_;
  std::optional<ExitInfo> exit_;
};

// For a child about to enter a host: whatever descriptors the test process
// inherited from its own runner (CLOEXEC or not) are none of the host's
// business, so that runs see the same three streams wherever they start.
void close_inherited_fds();

// Milliseconds left until `deadline` as poll() wants them, never negative.
int poll_timeout_ms(std::chrono::steady_clock::time_point deadline);

}  // namespace hostsim
