#include "zarncfg_recording_runner.h"

#include <utility>

#include "sys_fd.h"

void RecordingRunner::answer(std::string part, int status, std::string output) {
  rules_.push_back(Rule{std::move(part), status, std::move(output)});
}

void RecordingRunner::refuse(std::string part) { rules_.push_back(Rule{std::move(part), std::nullopt, ""}); }

void RecordingRunner::reset() {
  rules_.clear();
  commands_.clear();
}

CommandEnd RecordingRunner::run(const ShellCommand& command) {
  commands_.push_back(command);
  if (while_running) while_running(command);
  for (const Rule& rule : rules_) {
    if (command.text.find(rule.part) == std::string::npos) continue;
    // A lost write shows in the test as output missing from the log.
    if (!rule.output.empty() && command.output.fd >= 0) (void)sys::write_all(command.output.fd, rule.output);
    CommandEnd end;
    end.status = rule.status;
    return end;
  }
  CommandEnd success;
  success.status = 0;
  return success;
}

std::vector<std::string> RecordingRunner::lines() const {
  std::vector<std::string> lines;
  for (const ShellCommand& command : commands_) lines.push_back(command.text);
  return lines;
}
