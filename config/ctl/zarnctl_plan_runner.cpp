#include "zarnctl_plan_runner.h"

#include "zarncfg_host_path.h"

namespace {

constexpr std::string_view kRuntimeProbe = "/bin/rpm -q ";

bool starts_with(std::string_view text, std::string_view head) { return text.substr(0, head.size()) == head; }

}  // namespace

std::vector<std::string> shell_words(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false, quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '\'') {
        quoted = false;
      } else {
        word += c;
      }
    } else if (c == '\'') {
      quoted = in_word = true;
    } else if (c == '\\' && i + 1 < line.size()) {
      word += line[++i];
      in_word = true;
    } else if (c == ' ') {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

CommandEnd PlanRunner::run(const ShellCommand& command) {
  if (starts_with(command.text, kRuntimeProbe)) return probe_runner_.run(command);
  commands_.push_back(command.shown());
  const std::vector<std::string> words = shell_words(command.text);
  // "/bin/ln -f -s TARGET LINK" and "cp SOURCE TARGET", as the steps write them.
  if (words.size() == 5 && words[0] == "/bin/ln" && words[1] == "-f" && words[2] == "-s") {
    view_.make_link(zarncfg_host_path(words[4]), words[3]);
  } else if (words.size() == 3 && words[0] == "cp") {
    view_.copy(zarncfg_host_path(words[1]), zarncfg_host_path(words[2]));
  }
  return CommandEnd{0, false};
}
