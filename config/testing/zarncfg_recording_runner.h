// A runner for tests: while it lives, every command of the configuration
// comes here instead of starting a process.  It records each command as it
// was asked for and answers with the end of the first rule whose part the
// command line holds; a command no rule matches ends with 0.  And the
// fixture of the steps that run commands.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zarncfg_host_path.h"
#include "zarncfg_runner.h"
#include "zarncfg_test_support.h"

class RecordingRunner final : public CommandRunner {
 public:
  RecordingRunner() : scope_(*this) {}

  // Commands whose line holds `part` end with `status`, after writing
  // `output` to their output route, as the tool would print it.
  void answer(std::string part, int status, std::string output = "");
  // Commands whose line holds `part` cannot be started at all.
  void refuse(std::string part);
  // Forgets the rules and the commands recorded so far.
  void reset();

  [[nodiscard]] CommandEnd run(const ShellCommand& command) override;

  const std::vector<ShellCommand>& commands() const { return commands_; }
  // The command lines, in order.
  std::vector<std::string> lines() const;
  // Runs while each command "runs", for a look at what it would find (a
  // password file, say).
  std::function<void(const ShellCommand&)> while_running;

 private:
  struct Rule {
    std::string part;
    std::optional<int> status;  // nothing: not started
    std::string output;
  };

  std::vector<Rule> rules_;
  std::vector<ShellCommand> commands_;
  RunnerScope scope_;  // last: uninstalled first
};

// A step test: commands recorded instead of run, the product's fixed paths
// under a host directory in the scratch directory, and what the step
// printed and logged captured; so it needs neither root nor the tools.
class StepTest : public ReportCapture {
 protected:
  void SetUp() override {
    ReportCapture::SetUp();
    for (const char* dir : {"opt/zarn/etc", "opt/zarn/bin", "tmp", "etc/rc.d/init.d"}) {
      std::filesystem::create_directories(host_dir() / dir);
    }
    host_root_.emplace(host_dir().string());
  }
  void TearDown() override {
    host_root_.reset();
    ReportCapture::TearDown();
  }

  std::filesystem::path host_dir() const { return root_ / "host"; }
  // Where the host's absolute path lies.
  std::string on_host(std::string_view path) const { return host_dir().string() + std::string(path); }
  void write_on_host(std::string_view path, const std::string& content = "") const {
    std::ofstream(on_host(path)) << content;
  }

  RecordingRunner runner_;

 private:
  std::optional<HostRootScope> host_root_;
};
