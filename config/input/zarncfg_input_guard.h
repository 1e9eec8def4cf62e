// Rules the response-file and command-line passes share.
#pragma once

#include <string_view>

#include "zarncfg_record.h"

// A host stays subscribed to the policy branch and suffix it was configured
// with; changing either means unconfiguring first.  Repeating the configured
// value is harmless and accepted.
inline bool zarncfg_changes_configured_value(int option_index, const ConfigEntry& entry, std::string_view value) {
  const bool fixed = option_index == IDX_BRANCH || option_index == IDX_SUFFIX;
  return fixed && entry.has(CFG_CURRENT) && entry.text() != value;
}
