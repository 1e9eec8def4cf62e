#include "kx_schema.h"

#include <array>

namespace kx {
namespace {

constexpr std::array<PolicyTable, 15> POLICY_TABLES{{
    {"meta", "key, value", 1, ""},
    {"sec_master", "password_hash", 1, "password_hash"},
    {"objectspace", "name, type, description", 1, ""},
    {"protobj", "name, type, description, acl", 1, ""},
    {"acl", "name", 1, ""},
    {"acl_user", "acl, user, perms", 2, ""},
    {"acl_group", "acl, grp, perms", 2, ""},
    {"acl_special", "acl, kind, perms", 2, ""},
    {"acl_attribute", "acl, name, value", 2, ""},
    {"action", "name, label, type", 1, ""},
    {"action_group", "name", 1, ""},
    {"action_group_member", "grp, name, label, type", 2, ""},
    {"grp", "name, dn, cn", 1, ""},
    {"grp_member", "grp, user", 2, ""},
    {"user", "name, dn, cn, sn, password_hash, sso, account_valid", 1, "password_hash"},
}};

constexpr std::size_t count_columns(std::string_view columns) {
  std::size_t count = 1;
  for (const char c : columns) count += c == ',' ? 1 : 0;
  return count;
}

constexpr bool keys_fit() {
  for (const PolicyTable& table : POLICY_TABLES) {
    if (table.key_count < 1 || table.key_count > count_columns(table.columns)) return false;
  }
  return true;
}
static_assert(keys_fit(), "a table's key is a non-empty prefix of its columns");

}  // namespace

std::span<const PolicyTable> policy_tables() { return POLICY_TABLES; }

const PolicyTable* policy_table(std::string_view name) {
  for (const PolicyTable& table : POLICY_TABLES) {
    if (table.name == name) return &table;
  }
  return nullptr;
}

std::vector<std::string_view> column_names(const PolicyTable& table) {
  std::vector<std::string_view> names;
  std::string_view columns = table.columns;
  while (!columns.empty()) {
    const std::size_t comma = columns.find(", ");
    names.push_back(columns.substr(0, comma));
    columns = comma == std::string_view::npos ? std::string_view() : columns.substr(comma + 2);
  }
  return names;
}

std::string sql_name(std::string_view identifier) { return "\"" + std::string(identifier) + "\""; }

std::string sql_columns(const PolicyTable& table, std::size_t count) {
  std::string list;
  const std::vector<std::string_view> names = column_names(table);
  for (std::size_t i = 0; i < count && i < names.size(); ++i) list += (i == 0 ? "" : ", ") + sql_name(names[i]);
  return list;
}

}  // namespace kx
