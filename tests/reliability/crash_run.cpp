#include "crash_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <thread>

#include "hostsim/enter.h"
#include "hostsim/remove.h"

namespace rel {
namespace {

using Clock = std::chrono::steady_clock;

// A child that is reaped on every path; killed first if it still runs.
class Child {
 public:
  Child(const std::filesystem::path& host_dir, const std::vector<std::string>& argv) : pid_(::fork()) {
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0) ::_exit(125);
      ::syscall(SYS_close_range, 3U, ~0U, 0U);
      hostsim::exec_in_host(host_dir, argv, std::nullopt, "/");
    }
  }
  ~Child() {
    if (!reaped_) {
      ::kill(pid_, SIGKILL);
      wait();
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  bool has_ended() {
    int status = 0;
    if (!reaped_ && ::waitpid(pid_, &status, WNOHANG) == pid_) reaped_ = true;
    return reaped_;
  }
  void wait() {
    int status = 0;
    while (!reaped_) {
      if (::waitpid(pid_, &status, 0) == pid_ || errno != EINTR) reaped_ = true;
    }
  }

 private:
  pid_t pid_;
  bool reaped_ = false;
};

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
    Child child(host_dir, argv);
    std::this_thread::sleep_for(delay);
    if (child.has_ended()) {
      outcome.finished_first = true;
    } else {
      outcome.program_started = runs_program(child.pid(), argv.front());
      ::kill(child.pid(), SIGKILL);
      child.wait();
    }
  }
  outcome.stragglers_killed = wait_for_stragglers(host_dir);
  return outcome;
}

std::chrono::microseconds time_run(const std::filesystem::path& host_dir, const std::vector<std::string>& argv) {
  const auto start = Clock::now();
  {
    Child child(host_dir, argv);
    child.wait();
  }
  wait_for_stragglers(host_dir);
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
}

}  // namespace rel
