// The record of option values of one run: one entry per option index.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "zarncfg_tables.h"

inline constexpr std::uint32_t CFG_SET = 0x01;
inline constexpr std::uint32_t CFG_CMDLINE = 0x02;
inline constexpr std::uint32_t CFG_RSPFILE = 0x04;
inline constexpr std::uint32_t CFG_CURRENT = 0x08;
inline constexpr std::uint32_t CFG_HAS_VALUE = 0x10;
inline constexpr std::uint32_t CFG_DEFAULT = 0x20;
inline constexpr std::uint32_t CFG_DELETED = 0x40;

struct ConfigEntry {
  std::uint32_t flags = 0;
  std::optional<std::string> value;

  bool has(std::uint32_t flag) const { return (flags & flag) != 0; }
  // The value, or "" when there is none.
  const std::string& text() const {
    static const std::string empty;
    return value ? *value : empty;
  }
};

using ConfigRecord = std::array<ConfigEntry, CONFIG_RECORD_SIZE>;

// An entry read from the current files whose value is exactly "on".
inline bool is_current_on(const ConfigEntry& entry) { return entry.has(CFG_CURRENT) && entry.value == "on"; }

// Whether this host was configured before the run.
inline bool is_already_configured(const ConfigRecord& record) { return is_current_on(record[IDX_CONFIG_STATE]); }

// Whether the log router daemon was configured before the run.
inline bool is_lrd_configured(const ConfigRecord& record) { return is_current_on(record[IDX_LRD_STATE]); }

// A host stays subscribed to the policy branch and suffix it was configured
// with; changing either means unconfiguring first.  Repeating the configured
// value is harmless and accepted.  Both the response file and the command
// line refuse such a change.
inline bool zarncfg_changes_configured_value(int option_index, const ConfigEntry& entry, std::string_view value) {
  const bool fixed = option_index == IDX_BRANCH || option_index == IDX_SUFFIX;
  return fixed && entry.has(CFG_CURRENT) && entry.text() != value;
}
