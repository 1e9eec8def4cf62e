// Text operations.  They work on byte strings in the POSIX locale.
#include "zarncfg_strings.h"

#include <algorithm>
#include <array>

#include "zarncfg_svc.h"

bool zarncfg_is_white(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int zarncfg_is_empty(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; }) ? 1 : 0;
}

int zarncfg_is_empty(const std::optional<std::string>& text) { return text ? zarncfg_is_empty(*text) : 1; }

std::optional<std::vector<std::string>> zarncfg_strg_parser(std::string_view text, int& count, char separator) {
  if (text.empty()) {
    count = 0;
    return std::nullopt;
  }
  std::vector<std::string> items;
  std::size_t start = 0;
  while (true) {
    const auto next = text.find(separator, start);
    items.emplace_back(text.substr(start, next == std::string_view::npos ? std::string_view::npos : next - start));
    if (next == std::string_view::npos) break;
    start = next + 1;
  }
  count = static_cast<int>(items.size());
  return items;
}

std::string& zarncfg_strlwr(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string& zarncfg_trim(std::string& text) {
  const auto first = std::find_if_not(text.begin(), text.end(), zarncfg_is_white);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), zarncfg_is_white).base();
  text = first < last ? std::string(first, last) : std::string();
  return text;
}

int zarncfg_quotes_to_word(std::string& text) {
  if (text.find('"') == std::string::npos) return 1;
  trace(msg_id(387), text);
  int count = 0;
  const auto items = zarncfg_strg_parser(text, count, '"');
  if (!items || count % 2 == 0) {
    print_and_log_error(msg_id(1319), text);
    return 0;
  }
  std::string rebuilt;
  for (std::size_t i = 0; i < items->size(); ++i) {
    std::string item = (*items)[i];
    if (i % 2 == 1) std::replace_if(item.begin(), item.end(), zarncfg_is_white, WORD_JOINER);
    rebuilt += item;
  }
  text = rebuilt;
  return 1;
}

std::string& zarncfg_re_convert(std::string& text) {
  std::replace(text.begin(), text.end(), WORD_JOINER, ' ');
  return text;
}

std::optional<std::string> zarncfg_get_field(std::span<const std::string> items, std::size_t index) {
  if (index >= items.size() || items[index].empty()) return std::nullopt;
  std::string field = items[index];
  return zarncfg_re_convert(field);
}

std::string zarncfg_get_bool(std::string& text) {
  static constexpr std::array<std::string_view, 5> kYes = {"true", "yes", "on", "t", "y"};
  if (zarncfg_is_empty(text)) return "off";
  zarncfg_strlwr(text);
  const std::string result = std::find(kYes.begin(), kYes.end(), text) == kYes.end() ? "off" : "on";
  trace(msg_id(363), text, result);
  return result;
}

// One pass from left to right: a replacement is never searched again, so
// an empty pattern or a replacement that holds its pattern cannot loop.
void zarncfg_substitute_string(std::string& text, std::string_view pattern, std::string_view replacement,
                               vd_msgid_t& /*status*/) {
  trace(msg_id(361), text);
  if (pattern.empty()) return;
  std::string result;
  std::size_t start = 0;
  for (auto found = text.find(pattern); found != std::string::npos; found = text.find(pattern, start)) {
    result.append(text, start, found - start);
    result += replacement;
    start = found + pattern.size();
  }
  result.append(text, start, std::string::npos);
  text = std::move(result);
}

void zarncfg_filter_double_spaces_and_trim(std::string& text) {
  std::replace(text.begin(), text.end(), '\t', ' ');
  zarncfg_trim(text);
  std::string folded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool run_goes_on = i + 1 < text.size() && zarncfg_is_white(text[i]) && zarncfg_is_white(text[i + 1]);
    if (!run_goes_on) folded += text[i];
  }
  text = std::move(folded);
}

namespace {
bool is_plain_shell_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::string_view("_@%+=:,./-").find(c) != std::string_view::npos;
}
}  // namespace

std::string zarncfg_shell_word(std::string_view value) {
  if (!value.empty() && std::all_of(value.begin(), value.end(), is_plain_shell_char)) return std::string(value);
  std::string quoted = "'";
  for (char c : value) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}
