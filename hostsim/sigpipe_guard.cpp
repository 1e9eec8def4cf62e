#include "sigpipe_guard.h"

#include <pthread.h>
#include <time.h>

namespace hostsim {
namespace {

sigset_t only_sigpipe() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  return set;
}

bool sigpipe_pending() {
  sigset_t pending;
  sigemptyset(&pending);
  return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

SigpipeGuard::SigpipeGuard() {
  // A SIGPIPE pending from before is not ours to swallow.
  was_pending_ = sigpipe_pending();
  const sigset_t set = only_sigpipe();
  (void)pthread_sigmask(SIG_BLOCK, &set, &old_mask_);
}

SigpipeGuard::~SigpipeGuard() {
  if (!was_pending_ && sigpipe_pending()) {
    const sigset_t set = only_sigpipe();
    const timespec now{0, 0};
    (void)sigtimedwait(&set, nullptr, &now);
  }
  (void)pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
}

}  // namespace hostsim
