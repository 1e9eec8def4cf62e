#include "hostsim/run.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "child_process.h"
#include "file_util.h"
#include "launch_plan.h"
#include "sigpipe_guard.h"
#include "sys_fd.h"

namespace hostsim {
namespace {

// Reads what is there; closes `fd` at end of file.
void drain_into(sys::UniqueFd& fd, std::string& sink) {
  char chunk[16384];
  const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
  if (n > 0) {
    sink.append(chunk, static_cast<size_t>(n));
  } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    fd.reset();
  }
}

// Writes what the pipe takes; closes `fd` when all is written or the
// reader has gone, so the child sees end of file.
void feed(sys::UniqueFd& fd, std::string_view& data) {
  const SigpipeGuard guard;
  const ssize_t n = ::write(fd.get(), data.data(), data.size());
  if (n > 0) data.remove_prefix(static_cast<size_t>(n));
  if (data.empty() || (n < 0 && errno != EINTR && errno != EAGAIN)) fd.reset();
}

class RunLoop {
 public:
  RunLoop(ChildProcess& child, sys::Pipe& in, sys::Pipe& out, sys::Pipe& err, std::string_view input)
      : child_(child), in_(in.write_end), out_(out.read_end), err_(err.read_end), input_(input) {
    if (input_.empty()) in_.reset();
  }

  // Returns false when the deadline passed before the child ended.
  bool run(std::chrono::steady_clock::time_point deadline, RunResult& result) {
    while (out_.valid() || err_.valid() || !exited_) {
      if (std::chrono::steady_clock::now() >= deadline) return exited_;
      pollfd fds[] = {{out_.get(), POLLIN, 0}, {err_.get(), POLLIN, 0}, {in_.get(), POLLOUT, 0},
                      {exited_ ? -1 : child_.exit_fd(), POLLIN, 0}};
      // After the child ended, only what is already in the pipes counts:
      // a daemon it left behind may hold them open for ever.
      const int ready = ::poll(fds, 4, exited_ ? 0 : poll_timeout_ms(deadline));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) throw_system_error("cannot wait for", "a host run");
      if (ready == 0 && exited_) return true;
      if (fds[0].revents) drain_into(out_, result.out);
      if (fds[1].revents) drain_into(err_, result.err);
      if (fds[2].revents) feed(in_, input_);
      if (fds[3].revents) {
        exited_ = true;
        in_.reset();
      }
    }
    return true;
  }

 private:
  ChildProcess& child_;
  sys::UniqueFd& in_;
  sys::UniqueFd& out_;
  sys::UniqueFd& err_;
  std::string_view input_;
  bool exited_ = false;
};

}  // namespace

RunResult run_in_host(const std::filesystem::path& dir, const std::vector<std::string>& argv,
                      const RunOptions& opts) {
  const auto deadline = std::chrono::steady_clock::now() + opts.timeout;
  const LaunchPlan plan(dir, argv, opts.user, opts.cwd);
  sys::Pipe in = make_pipe(), out = make_pipe(), err = make_pipe();
  sys::ChildSpec setup([&plan] { plan.enter_and_exec(); });
  setup.stdin_fd = in.read_end.get();
  setup.stdout_fd = out.write_end.get();
  setup.stderr_fd = err.write_end.get();
  // Whatever descriptors the test process inherited from its own runner are
  // none of the host's business: runs see the same three streams wherever
  // they start.
  setup.close_other_fds = true;
  ChildProcess child = ChildProcess::spawn(setup);
  in.read_end.reset();
  out.write_end.reset();
  err.write_end.reset();
  if (::fcntl(in.write_end.get(), F_SETFL, O_NONBLOCK) != 0) throw_system_error("cannot configure", "stdin pipe");

  RunResult result;
  RunLoop loop(child, in, out, err, opts.stdin_data);
  result.timed_out = !loop.run(deadline, result);
  // Unless the run timed out the child has ended already, and killing a
  // process that waits to be reaped changes nothing.
  const sys::ExitStatus exit = child.kill_and_reap();
  result.exit_status = exit.code;
  result.term_signal = exit.signal;
  return result;
}

}  // namespace hostsim
