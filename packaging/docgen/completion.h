// The bash completion of zarncfg, made from the option tables: option
// names, the words of on/off and list options, and file names after the
// options that name a file.
#pragma once

#include <string>
#include <vector>

#include "option_docs.h"

namespace docgen {

std::string bash_completion(const std::vector<OptionDoc>& options);

}  // namespace docgen
