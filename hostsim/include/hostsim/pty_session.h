// Running a command in a simulated host on a pseudo-terminal, for programs
// that prompt and switch echo off.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/run.h"

namespace hostsim {

class PtySession {
 public:
  PtySession();
  ~PtySession();  // kills and reaps a child still running
  PtySession(const PtySession&) = delete;
  PtySession& operator=(const PtySession&) = delete;

  // The child gets the terminal's slave side as controlling terminal and as
  // its standard streams.  opts.stdin_data, if any, is typed at once.
  // Throws std::runtime_error.
  void start(const std::filesystem::path& dir, const std::vector<std::string>& argv, const RunOptions& opts = {});

  // Output up to and including `needle`, consumed from the terminal.
  // Throws std::runtime_error when the terminal closes or the safety timeout
  // passes first.
  std::string read_until(std::string_view needle);
  void send(std::string_view text);
  // Output until the child side closes the terminal.
  std::string read_all();
  // Exit status, or 128 + the signal number when a signal ended the child.  Keeps reading the
  // terminal meanwhile so that the child cannot block on a full one.
  int wait();

  // Everything the terminal showed so far.
  const std::string& transcript() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace hostsim
