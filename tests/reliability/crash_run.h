// One run of the installed program that is killed with SIGKILL after a
// chosen delay, as a crash or a power cut would end it.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace rel {

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

}  // namespace rel
