#include "hostsim/pty_session.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "child_process.h"
#include "file_util.h"
#include "hostsim/setup_status.h"
#include "launch_plan.h"
#include "sys_fd.h"

namespace hostsim {
namespace {

// The terminal is made inside the host, from the host's own /dev/ptmx, so
// that its name means something there (tty, ttyname); the child hands the
// master side to the parent over a socket.
struct Handover {
  sys::UniqueFd parent_end;
  sys::UniqueFd child_end;
};

Handover make_handover() {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
    throw_system_error("cannot create", "a socket pair");
  }
  return Handover{sys::UniqueFd(ends[0]), sys::UniqueFd(ends[1])};
}

// One byte with the descriptor attached.
struct FdMessage {
  char byte = 0;
  iovec data{&byte, 1};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr header{};

  FdMessage() {
    header.msg_iov = &data;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
  }
};

bool send_fd(int socket, int fd) {
  FdMessage message;
  cmsghdr* attached = CMSG_FIRSTHDR(&message.header);
  attached->cmsg_level = SOL_SOCKET;
  attached->cmsg_type = SCM_RIGHTS;
  attached->cmsg_len = CMSG_LEN(sizeof fd);
  std::memcpy(CMSG_DATA(attached), &fd, sizeof fd);
  return ::sendmsg(socket, &message.header, MSG_NOSIGNAL) == 1;
}

// Invalid when the child ended before it sent one.
sys::UniqueFd receive_fd(int socket) {
  FdMessage message;
  ssize_t got;
  do {
    got = ::recvmsg(socket, &message.header, MSG_CMSG_CLOEXEC);
  } while (got < 0 && errno == EINTR);
  const cmsghdr* attached = got == 1 ? CMSG_FIRSTHDR(&message.header) : nullptr;
  if (attached == nullptr || attached->cmsg_type != SCM_RIGHTS) return sys::UniqueFd();
  int fd = -1;
  std::memcpy(&fd, CMSG_DATA(attached), sizeof fd);
  return sys::UniqueFd(fd);
}

// Runs in the forked child, inside the host: a new terminal becomes its
// controlling terminal and standard streams, in a session of its own.
void take_terminal(int handover) {
  const int master = ::open("/dev/ptmx", O_RDWR | O_NOCTTY | O_CLOEXEC);
  int unlock = 0;
  if (master < 0 || ::ioctl(master, TIOCSPTLCK, &unlock) != 0) ::_exit(kSetupFailureStatus);
  const int slave = ::ioctl(master, TIOCGPTPEER, O_RDWR | O_NOCTTY);
  if (slave < 0 || !send_fd(handover, master)) ::_exit(kSetupFailureStatus);
  // Only the parent holds the master from now on; the program never sees
  // the socket.  Closing cannot fail in a way that leaves either open.
  (void)::close(master);
  (void)::close(handover);
  if (::setsid() < 0 || ::ioctl(slave, TIOCSCTTY, 0) != 0) ::_exit(kSetupFailureStatus);
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::dup2(slave, fd) < 0) ::_exit(kSetupFailureStatus);
  }
  if (slave > STDERR_FILENO) (void)::close(slave);
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
  Handover handover = make_handover();
  const int child_end = handover.child_end.get();
  sys::ChildSpec setup([&plan, child_end] { plan.enter_and_exec([child_end] { take_terminal(child_end); }); });
  setup.inherited_fds.push_back(child_end);  // closed by take_terminal before the exec
  setup.close_other_fds = true;
  state_->child.emplace(ChildProcess::spawn(setup));
  handover.child_end.reset();
  state_->master = receive_fd(handover.parent_end.get());
  if (!state_->master.valid()) {
    state_->child.reset();
    throw std::runtime_error("cannot open a pseudo-terminal in host " + dir.string());
  }
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
  if (!sys::write_all(state_->master.get(), text)) throw_system_error("cannot type into", "the pseudo-terminal");
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
