// The tables of the policy store as the store's rules see them, whatever
// database holds them.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kx {

// The version a store records in meta.schema_version.  A store of another
// version is refused; kxadmin migrate brings one of an older version up.
inline constexpr int SCHEMA_VERSION = 3;

// A table of policy: its columns in order, the first `key_count` of them
// its key, and the column (if any) that holds a password hash.
struct PolicyTable {
  std::string_view name;
  std::string_view columns;  // comma separated, as in a SELECT list
  std::size_t key_count;
  std::string_view masked_column;
};

// The tables the dump shows, in its order: every table but the fault,
// run, undo and lease tables.
std::span<const PolicyTable> policy_tables();
// The table of that name, or none.
const PolicyTable* policy_table(std::string_view name);

std::vector<std::string_view> column_names(const PolicyTable& table);

// An identifier quoted for SQL ("user" is a reserved word elsewhere).
std::string sql_name(std::string_view identifier);
// The column list of `table` (its first `count` columns) quoted for SQL.
std::string sql_columns(const PolicyTable& table, std::size_t count);

}  // namespace kx
