#include "catalog_text.h"

#include <cctype>
#include <stdexcept>

#include "zarncfg_msg.h"

namespace docgen {
namespace {

// "ZRNCF", four digits and a severity letter.
constexpr std::size_t kCodeLength = 10;

bool is_coded(std::string_view text) {
  if (text.size() < kCodeLength || text.substr(0, 5) != "ZRNCF") return false;
  for (std::size_t i = 5; i < 9; ++i) {
    if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) return false;
  }
  return text[9] == 'E' || text[9] == 'W' || text[9] == 'I';
}

}  // namespace

std::string_view catalog_text(unsigned number) {
  for (const vd_msg_entry& entry : zarncfg_svc_msg_table) {
    if (entry.id == msg_id(number)) return entry.text;
  }
  throw std::out_of_range("no catalog message " + std::to_string(number));
}

std::vector<CodedMessage> coded_messages() {
  std::vector<CodedMessage> messages;
  for (const vd_msg_entry& entry : zarncfg_svc_msg_table) {
    const std::string_view text = entry.text;
    if (!is_coded(text)) continue;
    const std::size_t sentence = text.find_first_not_of(' ', kCodeLength);
    messages.push_back({std::string(text.substr(0, kCodeLength)),
                        std::string(sentence == std::string_view::npos ? "" : text.substr(sentence))});
  }
  return messages;
}

std::string one_line(std::string_view text) {
  std::string line;
  for (const char c : text) {
    const bool blank = c == ' ' || c == '\t' || c == '\n';
    if (blank && (line.empty() || line.back() == ' ')) continue;
    line += blank ? ' ' : c;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace docgen
