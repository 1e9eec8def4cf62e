#include "child_process.h"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "file_util.h"

namespace hostsim {

ChildProcess ChildProcess::spawn(const sys::ChildSpec& setup) {
  std::optional<sys::Child> child = sys::Child::start(setup);
  if (!child) throw_system_error("cannot fork for", "a host run");
  // The pid stays ours until we reap it, so the pidfd names the right process.
  // Through syscall(): glibc 2.36 declares pidfd_open() without C linkage.
  sys::UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, child->pid(), 0)));
  if (!pidfd.valid()) throw_system_error("cannot watch", "a host run");  // the child is killed and reaped
  return ChildProcess(std::move(*child), std::move(pidfd));
}

sys::ExitStatus ChildProcess::kill_and_reap() {
  child_.kill(SIGKILL);
  return child_.wait().value_or(sys::ExitStatus{});
}

int poll_timeout_ms(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 60'000));
}

}  // namespace hostsim
