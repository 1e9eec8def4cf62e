// The command runner of a plan: each command a run would start is recorded
// as it may be shown (passwords masked) and answered as a success; what the
// copies and links among them would do is put into the plan's view of the
// files.  Only the runtime probe, which changes nothing, really runs, so
// that the plan takes the same path as the run.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zarncfg_runner.h"
#include "zarnctl_file_view.h"

class PlanRunner final : public CommandRunner {
 public:
  explicit PlanRunner(FileView& view) : view_(view) {}

  [[nodiscard]] CommandEnd run(const ShellCommand& command) override;
  // The commands that change something, in order, as they may be shown.
  const std::vector<std::string>& commands() const { return commands_; }

 private:
  FileView& view_;
  ChildRunner probe_runner_;
  std::vector<std::string> commands_;
};

// The words of a command line as the shell splits them, for the plain and
// single-quoted words zarncfg_shell_word makes.
std::vector<std::string> shell_words(std::string_view line);
