#include "messages_doc.h"

#include <sstream>

namespace docgen {
namespace {

constexpr std::string_view kHeading = "## ";
constexpr std::string_view kWhen = "**When it appears.**";
constexpr std::string_view kWhatToDo = "**What to do.**";

std::string trimmed_block(std::string text) {
  while (!text.empty() && text.front() == '\n') text.erase(0, 1);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// The catalog text with its line breaks, each line without trailing blanks.
std::string text_block(std::string_view text) {
  std::string block;
  std::istringstream lines{std::string(text)};
  for (std::string line; std::getline(lines, line);) {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    block += line + "\n";
  }
  return trimmed_block(block);
}

std::string table_cell(std::string_view text) {
  std::string cell;
  for (const char c : one_line(text)) {
    if (c == '|') cell += '\\';
    cell += c;
  }
  return cell;
}

std::string anchor(std::string_view code) {
  std::string lower;
  for (const char c : code) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return lower;
}

}  // namespace

Explanations parse_explanations(std::string_view source) {
  Explanations result;
  std::istringstream lines{std::string(source)};
  bool in_intro = false;
  std::string* current = nullptr;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(kHeading, 0) == 0) {
      current = &result.by_code[line.substr(kHeading.size())];
    } else if (current != nullptr) {
      *current += line + "\n";
    } else if (line == "---") {
      in_intro = true;
    } else if (in_intro) {
      result.intro += line + "\n";
    }
  }
  for (auto& [code, text] : result.by_code) text = trimmed_block(text);
  result.intro = trimmed_block(result.intro);
  return result;
}

std::vector<std::string> explanation_problems(const std::vector<CodedMessage>& messages,
                                              const Explanations& explanations) {
  std::vector<std::string> problems;
  std::map<std::string, bool, std::less<>> known;
  for (const CodedMessage& message : messages) {
    known[message.code] = true;
    const auto found = explanations.by_code.find(message.code);
    if (found == explanations.by_code.end() || found->second.empty()) {
      problems.push_back(message.code + " has no explanation");
    } else if (found->second.find(kWhen) == std::string::npos || found->second.find(kWhatToDo) == std::string::npos) {
      problems.push_back(message.code + " lacks \"" + std::string(kWhen) + "\" or \"" + std::string(kWhatToDo) + "\"");
    }
  }
  for (const auto& [code, text] : explanations.by_code) {
    if (!known.contains(code)) problems.push_back(code + " is explained but is not in the catalog");
  }
  return problems;
}

std::string messages_markdown(const std::vector<CodedMessage>& messages, const Explanations& explanations) {
  std::string md =
      "# Messages of zarncfg\n\n"
      "<!-- Made from the message catalog and docs/message-explanations.md"
      " (cmake --build <build> --target messages_doc); edit those, not this file. -->\n\n" +
      explanations.intro + "\n\n| Code | Text |\n|---|---|\n";
  for (const CodedMessage& message : messages) {
    md += "| [" + message.code + "](#" + anchor(message.code) + ") | " + table_cell(message.text) + " |\n";
  }
  for (const CodedMessage& message : messages) {
    const auto found = explanations.by_code.find(message.code);
    const std::string explanation = found == explanations.by_code.end() ? "*No explanation yet.*" : found->second;
    md += "\n## " + message.code + "\n\n```\n" + text_block(message.text) + "\n```\n\n" + explanation + "\n";
  }
  return md;
}

}  // namespace docgen
