// Writing to a pipe whose reader has gone raises SIGPIPE, which would kill
// the whole test process.  While a guard lives, such a write fails with
// EPIPE instead and the signal is swallowed.
#pragma once

#include <signal.h>

namespace hostsim {

class SigpipeGuard {
 public:
  SigpipeGuard();
  ~SigpipeGuard();
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  sigset_t old_mask_;
  bool was_pending_ = false;
};

}  // namespace hostsim
