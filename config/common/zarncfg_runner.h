// The one door through which the configuration starts child processes.
//
// Every command of a step (the tools, the copies and links, the runtime
// probe, the follow-up of a run) is a ShellCommand handed to the current
// runner: the shell's command line exactly as it runs, the text that may be
// shown in its place with the secrets masked, and where its standard
// streams go.  The real runner starts /bin/sh through the system layer and
// waits for it; a test installs a runner of its own that records each
// command and answers with a chosen end, so that what a step runs and what
// it does when that fails are seen without root and without the tools.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// What a password becomes in every text that may be shown.
inline constexpr const char* PASSWORD_MASK = "********";

// One standard stream of a child.
struct StreamRoute {
  int fd = -1;       // a descriptor the caller holds open for the run; -1: the parent's own stream
  std::string name;  // what the descriptor is (a file's path, "/dev/null"), for records
};

struct ShellCommand {
  explicit ShellCommand(std::string command_text, std::string display_text = "")
      : text(std::move(command_text)), display(std::move(display_text)) {}

  std::string text;            // the command line, run as "/bin/sh <flags> <text>"
  std::string flags = "-c";    // "-cf" also switches file name globbing off
  std::string display;         // the text with its secrets masked; blank when it holds none
  StreamRoute input, output, errors;

  // What may be shown of the command: the display text unless it is blank.
  const std::string& shown() const;
  // The shell's argument vector, argument zero included.
  std::vector<std::string> argv() const { return {"sh", flags, text}; }
};

// How a command ended.
struct CommandEnd {
  // The exit code, or 128 + the number of the signal that ended it, so that
  // a killed command never passes for success; nothing when no process ran
  // to its end (none could be made, or it could not be waited for).
  std::optional<int> status;
  // The shell could not be executed; status is then 127.
  bool exec_failed = false;
};

class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  // Runs the command to its end.  The routes' descriptors stay the caller's.
  [[nodiscard]] virtual CommandEnd run(const ShellCommand& command) = 0;
};

// The real runner: the only place where the configuration starts a child
// and waits for it.  The child gets the routed streams and nothing else of
// ours (every other descriptor is close-on-exec).
class ChildRunner final : public CommandRunner {
 public:
  [[nodiscard]] CommandEnd run(const ShellCommand& command) override;
};

// The runner commands go through: the innermost RunnerScope's, else a
// ChildRunner.
CommandRunner& current_runner();

// Makes `runner` the current runner while it lives; scopes nest.
class RunnerScope {
 public:
  explicit RunnerScope(CommandRunner& runner);
  ~RunnerScope();
  RunnerScope(const RunnerScope&) = delete;
  RunnerScope& operator=(const RunnerScope&) = delete;

 private:
  CommandRunner* previous_;
};
