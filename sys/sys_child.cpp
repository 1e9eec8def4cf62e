#include "sys_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>
#include <utility>

#include "sys_child_spawn.h"
#include "sys_fd.h"
#include "sys_signals.h"

namespace sys {
namespace {

// What the parent prepares before the fork, so that the child allocates
// nothing.
struct Prepared {
  std::vector<int> kept_fds;  // sorted: the inherited ones and the report pipe
  int report_fd = -1;
};

Prepared prepare(const ChildSpec& setup, int report_fd) {
  Prepared prepared;
  prepared.kept_fds = setup.inherited_fds;
  prepared.kept_fds.push_back(report_fd);
  std::sort(prepared.kept_fds.begin(), prepared.kept_fds.end());
  prepared.report_fd = report_fd;
  return prepared;
}

// From here to exec_instead only async-signal-safe calls are made.

[[noreturn]] void report_and_exit(int report_fd, int error) {
  // If the report cannot be written, the parent still sees the exit status.
  (void)write_all(report_fd, std::string_view(reinterpret_cast<const char*>(&error), sizeof error));
  ::_exit(kExecFailedStatus);
}

void reset_signal_dispositions() {
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    if (!set_to_default_in_child(signal_number)) continue;
    // The C library refuses its own internal signals, which stay as they are.
    (void)::sigaction(signal_number, &default_action, nullptr);
  }
}

bool keep_across_exec(int fd) {
  const int flags = ::fcntl(fd, F_GETFD);
  return flags >= 0 && ::fcntl(fd, F_SETFD, flags & ~FD_CLOEXEC) == 0;
}

bool place_standard_streams(const ChildSpec& setup) {
  int source[3] = {setup.stdin_fd, setup.stdout_fd, setup.stderr_fd};
  // A source among 0 to 2 that an earlier dup2 would overwrite is moved
  // out of the way first.
  for (int target = 0; target < 3; ++target) {
    if (source[target] >= 0 && source[target] < 3 && source[target] != target) {
      source[target] = ::fcntl(source[target], F_DUPFD_CLOEXEC, 3);
      if (source[target] < 0) return false;
    }
  }
  for (int target = 0; target < 3; ++target) {
    // dup2 clears close-on-exec on the copy.
    const bool placed = source[target] == target ? keep_across_exec(target) : ::dup2(source[target], target) == target;
    if (!placed) return false;
  }
  return true;
}

void close_all_but(const std::vector<int>& kept_fds) {
  unsigned first = 3;
  for (const int fd : kept_fds) {
    if (fd < 0 || static_cast<unsigned>(fd) < first) continue;
    if (static_cast<unsigned>(fd) > first) (void)::close_range(first, static_cast<unsigned>(fd) - 1, 0);
    first = static_cast<unsigned>(fd) + 1;
  }
  (void)::close_range(first, ~0U, 0);  // closing cannot fail in a way that leaves one open
}

[[noreturn]] void become_child(const ChildSpec& setup, const Prepared& prepared) {
  reset_signal_dispositions();
  if (setup.forward_termination_signals && ::setpgid(0, 0) != 0) report_and_exit(prepared.report_fd, errno);
  if (!place_standard_streams(setup)) report_and_exit(prepared.report_fd, errno);
  for (const int fd : setup.inherited_fds) {
    if (!keep_across_exec(fd)) report_and_exit(prepared.report_fd, errno);
  }
  if (setup.close_other_fds) close_all_but(prepared.kept_fds);
  sigset_t none;
  sigemptyset(&none);
  (void)::sigprocmask(SIG_SETMASK, &none, nullptr);  // cannot fail with a valid set
  // The parent stops waiting for a report here: what follows may take long,
  // or never exec at all.
  (void)::close(prepared.report_fd);  // released even when close reports an error
  setup.exec_instead();
  ::_exit(kExecFailedStatus);
}

// The child's report: an errno, or nothing once its exec closed the pipe.
int read_report(int fd) {
  int error = 0;
  std::string report;
  if (!read_all(fd, report) || report.size() != sizeof error) return 0;
  std::copy(report.begin(), report.end(), reinterpret_cast<char*>(&error));
  return error;
}

}  // namespace

ExitStatus exit_status_from_wait(int wait_status) {
  if (WIFEXITED(wait_status)) return ExitStatus{WEXITSTATUS(wait_status), 0};
  if (WIFSIGNALED(wait_status)) return ExitStatus{128 + WTERMSIG(wait_status), WTERMSIG(wait_status)};
  return ExitStatus{};
}

std::optional<Child> Child::start(const ChildSpec& setup) {
  std::fflush(nullptr);
  if (setup.exec_instead) return start_forked(setup);
  const Spawned spawned = spawn_child(setup);
  if (spawned.pid > 0) return Child(spawned.pid, 0, setup.forward_termination_signals);
  if (no_process_made(spawned.error)) {
    errno = spawned.error;
    return std::nullopt;
  }
  // The spawn has reaped the child that could not execute the program.
  Child failed(-1, spawned.error, false);
  failed.end_ = ExitStatus{kExecFailedStatus, 0};
  return failed;
}

// Only a child that runs code of its own before (or instead of) an exec is
// forked: posix_spawn can run nothing of ours in the child.
std::optional<Child> Child::start_forked(const ChildSpec& setup) {
  Pipe report;
  if (!make_pipe(report)) return std::nullopt;
  const Prepared prepared = prepare(setup, report.write_end.get());
  // With every signal blocked, no handler of ours can run in the child
  // before it has reset the dispositions.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  (void)::pthread_sigmask(SIG_SETMASK, &all, &previous);  // cannot fail with valid sets
  const pid_t pid = ::fork();
  if (pid == 0) become_child(setup, prepared);
  const int fork_error = errno;
  (void)::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (pid < 0) {
    errno = fork_error;
    return std::nullopt;
  }
  // Made in both processes, so that the group exists before either goes
  // on; the parent's call fails harmlessly once the child has executed.
  if (setup.forward_termination_signals) (void)::setpgid(pid, pid);
  report.write_end.reset();
  return Child(pid, read_report(report.read_end.get()), setup.forward_termination_signals);
}

Child::Child(Child&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      exec_error_(other.exec_error_),
      forwarding_(other.forwarding_),
      signal_passed_on_(other.signal_passed_on_),
      end_(other.end_),
      lost_(other.lost_) {}

Child& Child::operator=(Child&& other) noexcept {
  if (this != &other) {
    end_now();
    pid_ = std::exchange(other.pid_, -1);
    exec_error_ = other.exec_error_;
    forwarding_ = other.forwarding_;
    signal_passed_on_ = other.signal_passed_on_;
    end_ = other.end_;
    lost_ = other.lost_;
  }
  return *this;
}

void Child::end_now() {
  if (!reapable()) return;
  if (forwarding_) (void)::kill(-pid_, SIGKILL);  // its group would go on without it
  kill(SIGKILL);
  (void)reap(0);  // how it ended is of no interest any more
}

std::optional<ExitStatus> Child::reap(int options) {
  if (!reapable()) return end_;
  int wait_status = 0;
  pid_t got;
  do {
    got = ::waitpid(pid_, &wait_status, options);
  } while (got < 0 && errno == EINTR);
  if (got == pid_) end_ = exit_status_from_wait(wait_status);
  if (got < 0) lost_ = true;
  return end_;
}

std::optional<ExitStatus> Child::wait() {
  if (!forwarding_ || !reapable()) return reap(0);
  await_end_forwarding();
  const std::optional<ExitStatus> end = reap(0);
  if (signal_passed_on_) wait_for_rest_of_group();
  return end;
}

// The termination signals stay blocked but while ppoll sleeps, so that one
// that arrives between the look at what was caught and the sleep still
// wakes it.
void Child::await_end_forwarding() {
  const UniqueFd ended(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
  if (!ended.valid()) return;  // a kernel without pidfd: a plain wait
  sigset_t termination;
  sigemptyset(&termination);
  for (const int signal_number : kTerminationSignals) sigaddset(&termination, signal_number);
  sigset_t outside;
  (void)::pthread_sigmask(SIG_BLOCK, &termination, &outside);  // cannot fail with valid sets
  sigset_t while_asleep = outside;
  for (const int signal_number : kTerminationSignals) sigdelset(&while_asleep, signal_number);
  unsigned passed_on = 0;
  for (;;) {
    if (catching_termination_signals() && termination_signal_count() > passed_on) {
      passed_on = termination_signal_count();
      (void)::kill(-pid_, latest_termination_signal());  // a group that has just ended ignores it
      signal_passed_on_ = true;
    }
    pollfd child_end{ended.get(), POLLIN, 0};
    const int ready = ::ppoll(&child_end, 1, nullptr, &while_asleep);
    if (ready > 0 || (ready < 0 && errno != EINTR)) break;
  }
  (void)::pthread_sigmask(SIG_SETMASK, &outside, nullptr);
}

// What the child started and left behind came to this process, the
// reaper of orphans (sys_signals.h).
void Child::wait_for_rest_of_group() const {
  int wait_status = 0;
  while (::waitpid(-pid_, &wait_status, 0) > 0 || errno == EINTR) {
  }
}

std::optional<ExitStatus> Child::try_wait() { return reap(WNOHANG); }

void Child::kill(int signal) const {
  if (reapable()) (void)::kill(pid_, signal);  // a child that has just ended ignores it
}

}  // namespace sys
