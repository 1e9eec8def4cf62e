#include "zarncfg_option_match.h"

bool zarncfg_word_names_option(std::string_view word, const ConfigOptionDef& option) {
  const std::size_t min_length = option.flags & OPT_MIN_ABBREV_MASK;
  return word.size() >= min_length && std::string_view(option.name).starts_with(word);
}

int zarncfg_find_option_row(std::string_view word, std::span<const ConfigOptionDef> options) {
  for (std::size_t row = 0; row < options.size(); ++row) {
    if (zarncfg_word_names_option(word, options[row])) return static_cast<int>(row);
  }
  return -1;
}
