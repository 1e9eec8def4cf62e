#include "child_process.h"

#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "file_util.h"
#include "hostsim/enter.h"

namespace hostsim {

ExitInfo decode_wait_status(int status) {
  if (WIFEXITED(status)) return ExitInfo{WEXITSTATUS(status), 0};
  if (WIFSIGNALED(status)) return ExitInfo{-1, WTERMSIG(status)};
  return ExitInfo{};
}

ChildProcess ChildProcess::spawn(const std::function<void()>& in_child) {
  const pid_t pid = ::fork();
  if (pid < 0) throw_system_error("cannot fork for", "a host run");
  if (pid == 0) {
    in_child();
    ::_exit(kSetupFailureStatus);
  }
  // The pid stays ours until we reap it, so the pidfd names the right process.
  // Through syscall(): glibc 2.36 declares pidfd_open() without C linkage.
  UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  if (!pidfd.valid()) {
    const int err = errno;
    (void)::kill(pid, SIGKILL);
    (void)::waitpid(pid, nullptr, 0);
    errno = err;
    throw_system_error("cannot watch", "a host run");
  }
  return ChildProcess(pid, std::move(pidfd));
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), pidfd_(std::move(other.pidfd_)), exit_(other.exit_) {}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exit_) kill_and_reap();
}

std::optional<ExitInfo> ChildProcess::try_reap() {
  if (exit_) return exit_;
  int status = 0;
  pid_t got;
  do {
    got = ::waitpid(pid_, &status, WNOHANG);
  } while (got < 0 && errno == EINTR);
  if (got == pid_) exit_ = decode_wait_status(status);
  return exit_;
}

ExitInfo ChildProcess::reap_blocking() {
  int status = 0;
  pid_t got;
  do {
    got = ::waitpid(pid_, &status, 0);
  } while (got < 0 && errno == EINTR);
  exit_ = got == pid_ ? decode_wait_status(status) : ExitInfo{};
  return *exit_;
}

ExitInfo ChildProcess::kill_and_reap() {
  if (exit_) return *exit_;
  (void)::kill(pid_, SIGKILL);
  return reap_blocking();
}

void close_inherited_fds() { (void)::close_range(STDERR_FILENO + 1, ~0U, 0); }

int poll_timeout_ms(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 60'000));
}

}  // namespace hostsim
