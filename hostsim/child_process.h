// Owns one child process: it is never left running or unreaped.
#pragma once

#include <chrono>
#include <optional>

#include "sys_child.h"
#include "sys_fd.h"

namespace hostsim {

class ChildProcess {
 public:
  // Throws std::runtime_error when no process could be made.
  static ChildProcess spawn(const sys::ChildSpec& setup);

  // Becomes readable when the child has ended; for poll().
  int exit_fd() const { return pidfd_.get(); }
  // The end, once the child has ended and been reaped.
  std::optional<sys::ExitStatus> try_reap() { return child_.try_wait(); }
  sys::ExitStatus kill_and_reap();

 private:
  ChildProcess(sys::Child child, sys::UniqueFd pidfd) : child_(std::move(child)), pidfd_(std::move(pidfd)) {}

  sys::Child child_;  // killed and reaped on destruction if still running
  sys::UniqueFd pidfd_;
};

// Milliseconds left until `deadline` as poll() wants them, never negative.
int poll_timeout_ms(std::chrono::steady_clock::time_point deadline);

}  // namespace hostsim
