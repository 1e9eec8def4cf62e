// What the documentation says about each option of zarncfg, taken from the
// option tables, the catalog's help sentences and usage text, and the
// program's defaults.  The manual page and the shell completion are both
// made from these rows.
#pragma once

#include <string>
#include <vector>

namespace docgen {

struct OptionDoc {
  std::string name;                // "-cred_hold"
  std::string shortest;            // the shortest accepted abbreviation, "-cred_h"
  std::string placeholder;         // the value's name, "" when the option takes none
  std::string summary;             // the help sentence of -help
  std::vector<std::string> facts;  // accepted values, range, default, where it is stored...
  std::vector<std::string> words;  // the words its value is made of, for completion
  bool word_list = false;          // the value is a comma-separated list of `words`
  bool file = false;               // the value names a file
};

// One row per row of the option table, in table order.
std::vector<OptionDoc> zarncfg_option_docs();

}  // namespace docgen
