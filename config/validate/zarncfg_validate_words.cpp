// Truth words and value sets.
#include "zarncfg_validate.h"

#include <algorithm>
#include <array>

#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

namespace {

constexpr std::array<std::string_view, 6> kYesWords = {"true", "t", "yes", "y", "1", "on"};
constexpr std::array<std::string_view, 6> kNoWords = {"false", "f", "no", "n", "0", "off"};

bool is_one_of(std::span<const std::string_view> words, std::string_view text) {
  return std::find(words.begin(), words.end(), text) != words.end();
}

}  // namespace

int zarncfg_check_bool(std::string& value) {
  FunctionTrace scope("zarncfg_check_bool");
  zarncfg_strlwr(value);
  if (is_one_of(kYesWords, value)) {
    value = "on";
    return 1;
  }
  if (is_one_of(kNoWords, value)) {
    value = "off";
    return 1;
  }
  return 0;
}

int zarncfg_member_of_set(std::span<const std::string_view> members, std::string_view value) {
  FunctionTrace scope("zarncfg_member_of_set");
  int count = 0;
  auto items = zarncfg_strg_parser(value, count, ',');
  if (!items || items->empty()) {
    print_and_log_error(msg_id(1342), value);
    return 0;
  }
  for (std::string& item : *items) {
    if (!is_one_of(members, zarncfg_strlwr(item))) return 0;
  }
  return 1;
}
