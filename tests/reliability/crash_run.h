// Runs of the installed program that the reliability drivers stop from
// outside: killed with SIGKILL as a crash or a power cut would end them,
// sent a termination signal, or started while another run is at work.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sys_child.h"
#include "sys_fd.h"

namespace rel {

// One run of `argv` in a host, with no input and its output kept; reaped
// on every path, killed first if it still runs.
class HostRun {
 public:
  HostRun(const std::filesystem::path& host_dir, const std::vector<std::string>& argv);

  pid_t pid() const { return child_->pid(); }
  // Whether the process is the program already (not the host's launcher).
  bool runs_program() const;
  // Waits until the program catches the termination signals; false when
  // it ended before.
  bool await_signal_handlers();
  // Waits until the output holds `text`; false when the run ended first.
  bool await_output(const std::string& text);
  bool ended() { return child_->try_wait().has_value(); }
  void send(int signal_number) const { child_->kill(signal_number); }
  sys::ExitStatus wait();
  // Standard output and error, as far as written.
  std::string output() const;

 private:
  std::string program_;
  sys::UniqueFd out_;
  std::optional<sys::Child> child_;
};

struct CrashOutcome {
  bool finished_first = false;  // the run ended before the delay was up
  bool program_started = false;  // the killed process was already the program
  bool stragglers_killed = false;  // its children had to be killed after the wait
};

// Runs `argv` in the host, with no input and its output discarded, and
// kills it after `delay`; then waits for the children it left to end.
CrashOutcome run_and_kill(const std::filesystem::path& host_dir, const std::vector<std::string>& argv,
                          std::chrono::microseconds delay);

// How long `argv` takes in the host when nothing stops it.
std::chrono::microseconds time_run(const std::filesystem::path& host_dir, const std::vector<std::string>& argv);

// How long `argv` takes in the host until its output holds `text`.
std::chrono::microseconds time_until_output(const std::filesystem::path& host_dir,
                                            const std::vector<std::string>& argv, const std::string& text);

// What a killed run started (a shell, a tool) runs on and holds the host's
// lock; waits for it to end, and kills it after 30 s.  True when it had to
// be killed.
bool wait_for_stragglers(const std::filesystem::path& host_dir);

}  // namespace rel
