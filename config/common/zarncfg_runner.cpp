#include "zarncfg_runner.h"

#include "sys_child.h"
#include "zarncfg_strings.h"

namespace {

CommandRunner* installed = nullptr;

// A routed stream, else the parent's own.
int source_of(const StreamRoute& route, int own) { return route.fd >= 0 ? route.fd : own; }

}  // namespace

const std::string& ShellCommand::shown() const { return zarncfg_is_empty(display) ? text : display; }

CommandEnd ChildRunner::run(const ShellCommand& command) {
  sys::ChildSpec setup("/bin/sh", command.argv());
  // A termination signal that reaches the run while the command works is
  // passed on to it, and the run waits until it has ended before it undoes
  // anything.
  setup.forward_termination_signals = true;
  setup.stdin_fd = source_of(command.input, STDIN_FILENO);
  setup.stdout_fd = source_of(command.output, STDOUT_FILENO);
  setup.stderr_fd = source_of(command.errors, STDERR_FILENO);
  std::optional<sys::Child> child = sys::Child::start(setup);
  if (!child) return CommandEnd{};
  CommandEnd end;
  end.exec_failed = child->exec_error() != 0;
  if (const std::optional<sys::ExitStatus> exit = child->wait()) end.status = exit->code;
  return end;
}

CommandRunner& current_runner() {
  static ChildRunner child_runner;
  return installed != nullptr ? *installed : child_runner;
}

RunnerScope::RunnerScope(CommandRunner& runner) : previous_(installed) { installed = &runner; }

RunnerScope::~RunnerScope() { installed = previous_; }
