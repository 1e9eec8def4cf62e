// Running a command in a simulated host from a test.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace hostsim {

// A generous safety net: a hung run fails its test instead of hanging it.
inline constexpr std::chrono::seconds kDefaultRunTimeout{120};

struct RunOptions {
  std::optional<std::string> user;
  std::string cwd = "/";
  std::string stdin_data;
  std::chrono::seconds timeout = kDefaultRunTimeout;
};

struct RunResult {
  int exit_status = -1;  // 128 + the signal number when a signal ended the command
  int term_signal = 0;   // the signal that ended it, else 0
  bool timed_out = false;
  std::string out;
  std::string err;
};

// Runs `argv` in the host in a child process whose standard streams are
// pipes.  Throws std::runtime_error when the run cannot be prepared (not a
// host, unknown user); later failures show as the child's status.
RunResult run_in_host(const std::filesystem::path& dir, const std::vector<std::string>& argv,
                      const RunOptions& opts = {});

}  // namespace hostsim
