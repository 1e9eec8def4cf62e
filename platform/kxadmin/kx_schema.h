// The tables of the policy store.
#pragma once

#include <span>
#include <string_view>

namespace kx {

inline constexpr std::string_view SCHEMA_VERSION = "1";

// The statements that make an empty store (run once, on creation).
extern const char* const SCHEMA_SQL;

// A table as the dump shows it: its columns in order, and the column (if
// any) that holds a password hash and is masked.
struct DumpTable {
  std::string_view name;
  std::string_view columns;  // comma separated, as in a SELECT list
  std::string_view masked_column;
};
std::span<const DumpTable> dump_tables();

}  // namespace kx
