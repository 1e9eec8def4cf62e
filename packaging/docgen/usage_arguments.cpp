#include "usage_arguments.h"

#include <sstream>

namespace docgen {
namespace {

std::string trim(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return "";
  const auto last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

// One entry per option: a line that does not start an option continues the
// one before it ("admin | verbose ... trace_file)]").
std::vector<std::string> option_entries(std::string_view usage_text) {
  std::vector<std::string> entries;
  std::istringstream lines{std::string(usage_text)};
  for (std::string line; std::getline(lines, line);) {
    line = trim(line);
    if (line.empty()) continue;
    const bool starts = line.front() == '[' || line.front() == '-';
    if (starts || entries.empty()) {
      entries.push_back(line);
    } else {
      entries.back() += " " + line;
    }
  }
  return entries;
}

std::vector<std::string> choice_words(const std::string& inner) {
  std::vector<std::string> words;
  std::istringstream parts(inner);
  for (std::string part; std::getline(parts, part, '|');) words.push_back(trim(part));
  return words;
}

UsageArgument parse_argument(const std::string& text, bool required) {
  UsageArgument argument;
  argument.required = required;
  if (text.size() >= 2 && text.front() == '<' && text.back() == '>') {
    argument.placeholder = text.substr(1, text.size() - 2);
  } else if (text.size() >= 2 && text.front() == '(' && text.back() == ')') {
    const std::string inner = text.substr(1, text.size() - 2);
    if (inner.find('|') == std::string::npos) {
      argument.placeholder = trim(inner);
    } else {
      argument.choices = choice_words(inner);
    }
  }
  return argument;
}

}  // namespace

std::map<std::string, UsageArgument, std::less<>> usage_arguments(std::string_view usage_text) {
  std::map<std::string, UsageArgument, std::less<>> arguments;
  for (std::string entry : option_entries(usage_text)) {
    const bool required = entry.front() != '[';
    if (!required) entry = entry.substr(1, entry.rfind(']') - 1);
    if (entry.front() != '-') continue;
    const auto blank = entry.find(' ');
    const std::string name = entry.substr(0, blank);
    arguments[name] = parse_argument(blank == std::string::npos ? "" : trim(entry.substr(blank)), required);
  }
  return arguments;
}

}  // namespace docgen
