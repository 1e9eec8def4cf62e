#include "crash_run.h"

#include <fcntl.h>
#include <signal.h>

#include <fstream>
#include <optional>
#include <stdexcept>
#include <thread>

#include "hostsim/enter.h"
#include "hostsim/remove.h"
#include "sys_child.h"
#include "sys_fd.h"

namespace rel {
namespace {

using Clock = std::chrono::steady_clock;

// The program in the host with /dev/null as its standard streams; reaped
// on every path, killed first if it still runs.
sys::Child start_in_host(const std::filesystem::path& host_dir, const std::vector<std::string>& argv,
                         const sys::UniqueFd& null) {
  if (!null.valid()) throw std::runtime_error("cannot open /dev/null");
  sys::ChildSpec spec([&] { hostsim::exec_in_host(host_dir, argv, std::nullopt, "/"); });
  spec.stdin_fd = spec.stdout_fd = spec.stderr_fd = null.get();
  spec.close_other_fds = true;
  std::optional<sys::Child> child = sys::Child::start(spec);
  if (!child) throw std::runtime_error("cannot start a run in the host");
  return std::move(*child);
}

// An unreaped child keeps its pid, so its name can be read safely.
bool runs_program(pid_t pid, const std::string& program) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return program.rfind('/') != std::string::npos && name == program.substr(program.rfind('/') + 1).substr(0, 15);
}

// What the killed program started (a shell, a tool) runs on; wait for it.
bool wait_for_stragglers(const std::filesystem::path& host_dir) {
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (!hostsim::processes_in_host(host_dir).empty()) {
    if (Clock::now() > deadline) {
      hostsim::kill_processes_in_host(host_dir);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

}  // namespace

CrashOutcome run_and_kill(const std::filesystem::path& host_dir, const std::vector<std::string>& argv,
                          std::chrono::microseconds delay) {
  CrashOutcome outcome;
  {
    const sys::UniqueFd null = sys::open_fd("/dev/null", O_RDWR);
    sys::Child child = start_in_host(host_dir, argv, null);
    std::this_thread::sleep_for(delay);
    if (child.try_wait()) {
      outcome.finished_first = true;
    } else {
      outcome.program_started = runs_program(child.pid(), argv.front());
      child.kill(SIGKILL);
      (void)child.wait();  // how it ended is known: killed
    }
  }
  outcome.stragglers_killed = wait_for_stragglers(host_dir);
  return outcome;
}

std::chrono::microseconds time_run(const std::filesystem::path& host_dir, const std::vector<std::string>& argv) {
  const auto start = Clock::now();
  {
    const sys::UniqueFd null = sys::open_fd("/dev/null", O_RDWR);
    sys::Child child = start_in_host(host_dir, argv, null);
    (void)child.wait();  // only the time counts here
  }
  wait_for_stragglers(host_dir);
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
}

}  // namespace rel
