// The argument of each option as the usage text (catalog message 141)
// writes it: "<number_of_minutes>", "(on | off)" or
// "(comma_delimited_list_of_options)".
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace docgen {

struct UsageArgument {
  std::string placeholder;           // "number_of_minutes", or "" when none
  std::vector<std::string> choices;  // the words of "(a | b | c)"
  bool required = false;             // written without brackets
};

// Keyed by option name ("-cred_hold").  Entries of one option may span lines.
std::map<std::string, UsageArgument, std::less<>> usage_arguments(std::string_view usage_text);

}  // namespace docgen
