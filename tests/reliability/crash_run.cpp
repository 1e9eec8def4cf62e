#include "crash_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "hostsim/enter.h"
#include "hostsim/remove.h"

namespace rel {
namespace {

using Clock = std::chrono::steady_clock;

// Not a timed assertion: a guard against a run that never gets there.
constexpr auto kGuard = std::chrono::seconds(60);

// The run's output lives in memory, outside every host.
sys::UniqueFd output_file() {
  sys::UniqueFd fd(::memfd_create("host-run-output", MFD_CLOEXEC));
  if (!fd.valid()) throw std::runtime_error("cannot create an output file");
  return fd;
}

std::string status_of(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::stringstream text;
  text << status.rdbuf();
  return text.str();
}

bool catches_sigterm(const std::string& status) {
  const auto at = status.find("\nSigCgt:\t");
  if (at == std::string::npos) return false;
  const unsigned long long caught = std::stoull(status.substr(at + 9, 16), nullptr, 16);
  return (caught & (1ULL << (SIGTERM - 1))) != 0;
}

}  // namespace

HostRun::HostRun(const std::filesystem::path& host_dir, const std::vector<std::string>& argv)
    : program_(argv.front()), out_(output_file()) {
  const sys::UniqueFd null = sys::open_fd("/dev/null", O_RDONLY);
  if (!null.valid()) throw std::runtime_error("cannot open /dev/null");
  sys::ChildSpec setup([&] { hostsim::exec_in_host(host_dir, argv, std::nullopt, "/"); });
  setup.stdin_fd = null.get();
  setup.stdout_fd = setup.stderr_fd = out_.get();
  setup.close_other_fds = true;
  child_ = sys::Child::start(setup);
  if (!child_) throw std::runtime_error("cannot start a run in the host");
}

// An unreaped child keeps its pid, so its name can be read safely.
bool HostRun::runs_program() const {
  std::ifstream comm("/proc/" + std::to_string(pid()) + "/comm");
  std::string name;
  std::getline(comm, name);
  const auto slash = program_.rfind('/');
  return slash != std::string::npos && name == program_.substr(slash + 1).substr(0, 15);
}

bool HostRun::await_signal_handlers() {
  const auto deadline = Clock::now() + kGuard;
  while (!(runs_program() && catches_sigterm(status_of(pid())))) {
    if (ended() || Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return true;
}

bool HostRun::await_output(const std::string& text) {
  const auto deadline = Clock::now() + kGuard;
  while (output().find(text) == std::string::npos) {
    if (ended() || Clock::now() > deadline) return output().find(text) != std::string::npos;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

sys::ExitStatus HostRun::wait() { return child_->wait().value_or(sys::ExitStatus{}); }

std::string HostRun::output() const {
  std::string text;
  char buffer[4096];
  for (off_t at = 0;;) {
    const ssize_t got = ::pread(out_.get(), buffer, sizeof buffer, at);
    if (got <= 0) return text;
    text.append(buffer, static_cast<std::size_t>(got));
    at += got;
  }
}

// A process on its way out may have left its root but not yet let go of
// its last open files, the host's lock among them.
bool lock_is_free(const std::filesystem::path& host_dir) {
  const sys::UniqueFd lock = sys::open_fd((host_dir / "var/zarn/run/zarncfg.lock").string(), O_RDONLY);
  if (!lock.valid() || ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) return true;
  return false;
}

bool wait_for_stragglers(const std::filesystem::path& host_dir) {
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (!hostsim::processes_in_host(host_dir).empty() || !lock_is_free(host_dir)) {
    if (Clock::now() > deadline) {
      hostsim::kill_processes_in_host(host_dir);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

CrashOutcome run_and_kill(const std::filesystem::path& host_dir, const std::vector<std::string>& argv,
                          std::chrono::microseconds delay) {
  CrashOutcome outcome;
  {
    HostRun run(host_dir, argv);
    std::this_thread::sleep_for(delay);
    if (run.ended()) {
      outcome.finished_first = true;
    } else {
      outcome.program_started = run.runs_program();
      run.send(SIGKILL);
      (void)run.wait();  // how it ended is known: killed
    }
  }
  outcome.stragglers_killed = wait_for_stragglers(host_dir);
  return outcome;
}

std::chrono::microseconds time_run(const std::filesystem::path& host_dir, const std::vector<std::string>& argv) {
  const auto start = Clock::now();
  {
    HostRun run(host_dir, argv);
    (void)run.wait();  // only the time counts here
  }
  wait_for_stragglers(host_dir);
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
}

std::chrono::microseconds time_until_output(const std::filesystem::path& host_dir,
                                            const std::vector<std::string>& argv, const std::string& text) {
  const auto start = Clock::now();
  std::chrono::microseconds until{0};
  {
    HostRun run(host_dir, argv);
    if (!run.await_output(text)) throw std::runtime_error("the run never printed: " + text);
    until = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    (void)run.wait();  // only the time counts here
  }
  wait_for_stragglers(host_dir);
  return until;
}

}  // namespace rel
