#include "completion.h"

namespace docgen {
namespace {

// Every abbreviation the program accepts, as one case pattern: the option
// also completes its value when the word before was typed short.
std::string abbreviations(const OptionDoc& option) {
  std::string pattern;
  for (std::size_t length = option.shortest.size(); length <= option.name.size(); ++length) {
    if (!pattern.empty()) pattern += "|";
    pattern += "'" + option.name.substr(0, length) + "'";
  }
  return pattern;
}

std::string words_of(const OptionDoc& option) {
  std::string words;
  for (const std::string& word : option.words) words += (words.empty() ? "" : " ") + word;
  return words;
}

std::string value_arm(const OptionDoc& option) {
  std::string action;
  if (option.file) {
    action = "_zarncfg_files";
  } else if (option.word_list) {
    action = "_zarncfg_list '" + words_of(option) + "'";
  } else if (!option.words.empty()) {
    action = "_zarncfg_words '" + words_of(option) + "'";
  } else {
    action = ":";  // a free value: nothing to offer
  }
  return "    " + abbreviations(option) + ")\n      " + action + "\n      return\n      ;;\n";
}

constexpr const char* kComment = R"(# bash completion for zarncfg(8)
# Made from the program's option tables when the product is built.
)";

constexpr const char* kFunctions = R"(
_zarncfg_words() {
  mapfile -t COMPREPLY < <(compgen -W "$1" -- "$cur")
}

# A comma-separated list: complete the item after the last comma.
_zarncfg_list() {
  local done="" item="$cur"
  if [[ $cur == *,* ]]; then
    done=${cur%,*},
    item=${cur##*,}
  fi
  mapfile -t COMPREPLY < <(compgen -P "$done" -W "$1" -- "$item")
  # Outside a completion (a test calling the function) there is no option to set.
  compopt -o nospace 2>/dev/null
}

_zarncfg_files() {
  mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  compopt -o filenames 2>/dev/null
}

_zarncfg() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  COMPREPLY=()
  case $prev in
)";

constexpr const char* kTail = R"(  esac
  _zarncfg_words "$_zarncfg_options"
}

complete -F _zarncfg zarncfg
)";

}  // namespace

std::string bash_completion(const std::vector<OptionDoc>& options) {
  std::string names;
  std::string arms;
  for (const OptionDoc& option : options) {
    names += (names.empty() ? "" : " ") + option.name;
    if (!option.placeholder.empty()) arms += value_arm(option);
  }
  // The option names quoted, so that "-?" is never taken as a pattern.
  return kComment + ("\n_zarncfg_options='" + names + "'\n") + kFunctions + arms + kTail;
}

}  // namespace docgen
