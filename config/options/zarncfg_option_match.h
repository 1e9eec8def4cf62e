// How a command-line word names an option: at least the option's minimum
// abbreviation, and nothing that is not part of the name.
#pragma once

#include <span>
#include <string_view>

#include "zarncfg_tables.h"

// Case-sensitive, as the command line is.
bool zarncfg_word_names_option(std::string_view word, const ConfigOptionDef& option);
// The first row the word names, or -1.
int zarncfg_find_option_row(std::string_view word, std::span<const ConfigOptionDef> options);
