#include "hostsim/pty_session.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <stdexcept>

#include "child_process.h"
#include "file_util.h"
#include "hostsim/enter.h"
#include "launch_plan.h"
#include "sys_fd.h"

namespace hostsim {
namespace {

struct Terminal {
  sys::UniqueFd master;
  sys::UniqueFd slave;
};

Terminal open_terminal() {
  sys::UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!master.valid()) throw_system_error("cannot open", "a pseudo-terminal");
  if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) {
    throw_system_error("cannot unlock", "a pseudo-terminal");
  }
  // The slave comes straight from the master, without a path: the host's
  // /dev is the system's, but the caller's may not be.
  sys::UniqueFd slave(::ioctl(master.get(), TIOCGPTPEER, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!slave.valid()) throw_system_error("cannot open", "the pseudo-terminal's slave");
  return Terminal{std::move(master), std::move(slave)};
}

// Runs in the forked child, whose standard streams are the terminal: a
// session of its own with the terminal as its controlling terminal.
void take_terminal() {
  if (::setsid() < 0 || ::ioctl(STDIN_FILENO, TIOCSCTTY, 0) != 0) ::_exit(kSetupFailureStatus);
}

}  // namespace

struct PtySession::State {
  sys::UniqueFd master;
  std::optional<ChildProcess> child;
  std::chrono::seconds timeout{kDefaultRunTimeout};
  std::string transcript;
  size_t consumed = 0;  // transcript already handed out by read_until/read_all
  bool closed = false;  // the child side has let go of the terminal

  // Waits up to the deadline for output; false when none came.
  bool read_more(std::chrono::steady_clock::time_point deadline) { return wait_for(deadline, false); }
  // Waits up to the deadline for output or the child's end.
  void read_more_or_exit(std::chrono::steady_clock::time_point deadline) { (void)wait_for(deadline, true); }

 private:
  bool wait_for(std::chrono::steady_clock::time_point deadline, bool watch_exit);
  bool read_master();
};

bool PtySession::State::wait_for(std::chrono::steady_clock::time_point deadline, bool watch_exit) {
  if (closed && !watch_exit) return false;
  pollfd fds[] = {{closed ? -1 : master.get(), POLLIN, 0}, {watch_exit ? child->exit_fd() : -1, POLLIN, 0}};
  const int ready = ::poll(fds, 2, poll_timeout_ms(deadline));
  if (ready < 0 && errno == EINTR) return true;
  if (ready < 0) throw_system_error("cannot wait for", "the pseudo-terminal");
  return fds[0].revents != 0 && read_master();
}

bool PtySession::State::read_master() {
  char chunk[4096];
  const ssize_t n = ::read(master.get(), chunk, sizeof chunk);
  if (n > 0) {
    transcript.append(chunk, static_cast<size_t>(n));
    return true;
  }
  if (n < 0 && errno == EINTR) return true;
  // Linux reports EIO on the master once no process holds the slave.
  closed = true;
  return false;
}

PtySession::PtySession() : state_(std::make_unique<State>()) {}
PtySession::~PtySession() = default;

void PtySession::start(const std::filesystem::path& dir, const std::vector<std::string>& argv,
                       const RunOptions& opts) {
  if (state_->child) throw std::logic_error("PtySession started twice");
  const LaunchPlan plan(dir, argv, opts.user, opts.cwd);
  Terminal terminal = open_terminal();
  sys::ChildSpec spec([&plan] {
    take_terminal();
    plan.enter_and_exec();
  });
  spec.stdin_fd = spec.stdout_fd = spec.stderr_fd = terminal.slave.get();
  spec.close_other_fds = true;
  state_->child.emplace(ChildProcess::spawn(spec));
  state_->master = std::move(terminal.master);
  state_->timeout = opts.timeout;
  if (!opts.stdin_data.empty()) send(opts.stdin_data);
}

std::string PtySession::read_until(std::string_view needle) {
  const auto deadline = std::chrono::steady_clock::now() + state_->timeout;
  for (;;) {
    const size_t at = state_->transcript.find(needle, state_->consumed);
    if (at != std::string::npos) {
      const size_t end = at + needle.size();
      std::string text = state_->transcript.substr(state_->consumed, end - state_->consumed);
      state_->consumed = end;
      return text;
    }
    if (!state_->read_more(deadline) && (state_->closed || std::chrono::steady_clock::now() >= deadline)) {
      throw std::runtime_error("terminal never showed '" + std::string(needle) +
                               "'; it showed:\n" + state_->transcript.substr(state_->consumed));
    }
  }
}

void PtySession::send(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(state_->master.get(), text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw_system_error("cannot type into", "the pseudo-terminal");
    text.remove_prefix(static_cast<size_t>(n));
  }
}

std::string PtySession::read_all() {
  const auto deadline = std::chrono::steady_clock::now() + state_->timeout;
  for (;;) {
    if (state_->read_more(deadline)) continue;
    if (state_->closed || std::chrono::steady_clock::now() >= deadline) break;
  }
  std::string text = state_->transcript.substr(state_->consumed);
  state_->consumed = state_->transcript.size();
  return text;
}

int PtySession::wait() {
  if (!state_->child) throw std::logic_error("PtySession never started");
  const auto deadline = std::chrono::steady_clock::now() + state_->timeout;
  while (!state_->child->try_reap()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      state_->child->kill_and_reap();
      throw std::runtime_error("child on the pseudo-terminal did not end; it showed:\n" + state_->transcript);
    }
    state_->read_more_or_exit(deadline);
  }
  // The last output may still wait in the terminal; take what is there
  // without waiting for more (a daemon left behind may hold the terminal).
  while (state_->read_more(std::chrono::steady_clock::now())) {
  }
  return state_->child->try_reap()->code;
}

const std::string& PtySession::transcript() const { return state_->transcript; }

}  // namespace hostsim
