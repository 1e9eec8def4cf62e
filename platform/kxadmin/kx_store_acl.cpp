// ACLs: their entries, special permissions and attributes.
#include <algorithm>

#include "kx_schema.h"
#include "kx_store.h"

namespace kx {
namespace {

std::string_view special_name(AclSpecial kind) {
  return kind == AclSpecial::any_other ? "any-other" : "unauthenticated";
}

std::string in_quotes(std::string_view name) { return "\"" + std::string(name) + "\""; }

// Removes the entry of `table` whose `column` is `key` from an existing
// ACL; `entry` names it in the message when it is not there.
Outcome remove_acl_entry(Store& store, std::string_view table, std::string_view column, std::string_view acl,
                         std::string_view key, const std::string& entry) {
  if (Outcome r = store.must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  store.undo_begin_op();
  if (Outcome r = store.undo_note_row(table, {acl, key}); !r.ok()) return r;
  const std::string sql = "DELETE FROM " + sql_name(table) + " WHERE acl = ? AND " + sql_name(column) + " = ?";
  if (Outcome r = store.run(sql, {acl, key}); !r.ok()) return r;
  if (store.changes() > 0) return success();
  return failure(CODE_NOT_PRESENT, "ACL " + in_quotes(acl) + " has no " + entry);
}

}  // namespace

Outcome Store::acl_create(std::string_view name) {
  undo_begin_op();
  undo_note_made("acl", {name});
  return insert_new("INSERT INTO acl(name) VALUES(?) ON CONFLICT DO NOTHING", {name}, "ACL", name);
}

// The ACL's entries go with it and objects it was attached to lose it
// (foreign keys); its undo brings all of them back, the ACL first.
Outcome Store::acl_delete(std::string_view name) {
  if (Outcome r = must_exist("acl", "ACL", name, CODE_NOT_FOUND); !r.ok()) return r;
  undo_begin_op();
  Outcome r = undo_note_row("acl", {name});
  for (std::string_view table : {"acl_user", "acl_group", "acl_special", "acl_attribute", "protobj"}) {
    if (r.ok()) r = undo_note_rows_where(table, "acl", name);
  }
  return r.ok() ? run("DELETE FROM acl WHERE name = ?", {name}) : r;
}

Outcome Store::acl_names(std::vector<std::string>& names) {
  return names_of("SELECT name FROM acl ORDER BY name", names);
}

Outcome Store::acl_set_user(std::string_view acl, std::string_view user, std::string_view perms) {
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  if (Outcome r = must_exist("user", "user", user, CODE_REFERENCE_MISSING); !r.ok()) return r;
  undo_begin_op();
  if (Outcome r = undo_note_row("acl_user", {acl, user}); !r.ok()) return r;
  return run("INSERT INTO acl_user(acl, \"user\", perms) VALUES(?, ?, ?) "
             "ON CONFLICT(acl, \"user\") DO UPDATE SET perms = excluded.perms",
             {acl, user, perms});
}

Outcome Store::acl_set_group(std::string_view acl, std::string_view group, std::string_view perms) {
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  if (Outcome r = must_exist("grp", "group", group, CODE_REFERENCE_MISSING); !r.ok()) return r;
  undo_begin_op();
  if (Outcome r = undo_note_row("acl_group", {acl, group}); !r.ok()) return r;
  return run("INSERT INTO acl_group(acl, grp, perms) VALUES(?, ?, ?) "
             "ON CONFLICT(acl, grp) DO UPDATE SET perms = excluded.perms",
             {acl, group, perms});
}

Outcome Store::acl_set_special(std::string_view acl, AclSpecial kind, std::string_view perms) {
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  undo_begin_op();
  if (Outcome r = undo_note_row("acl_special", {acl, special_name(kind)}); !r.ok()) return r;
  return run("INSERT INTO acl_special(acl, kind, perms) VALUES(?, ?, ?) "
             "ON CONFLICT(acl, kind) DO UPDATE SET perms = excluded.perms",
             {acl, special_name(kind), perms});
}

// An attribute holds one value (or none); putting it again replaces it.
Outcome Store::acl_put_attribute(std::string_view acl, std::string_view attribute, opt_str value) {
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  undo_begin_op();
  if (Outcome r = undo_note_row("acl_attribute", {acl, attribute}); !r.ok()) return r;
  return run("INSERT INTO acl_attribute(acl, name, value) VALUES(?, ?, ?) "
             "ON CONFLICT(acl, name) DO UPDATE SET value = excluded.value",
             {acl, attribute, value});
}

Outcome Store::acl_remove_user(std::string_view acl, std::string_view user) {
  return remove_acl_entry(*this, "acl_user", "user", acl, user, "user " + in_quotes(user) + " entry");
}

Outcome Store::acl_remove_group(std::string_view acl, std::string_view group) {
  return remove_acl_entry(*this, "acl_group", "grp", acl, group, "group " + in_quotes(group) + " entry");
}

Outcome Store::acl_remove_special(std::string_view acl, AclSpecial kind) {
  const std::string_view kind_name = special_name(kind);
  return remove_acl_entry(*this, "acl_special", "kind", acl, kind_name, std::string(kind_name) + " entry");
}

Outcome Store::acl_delete_attribute(std::string_view acl, std::string_view attribute) {
  return remove_acl_entry(*this, "acl_attribute", "name", acl, attribute, "attribute " + in_quotes(attribute));
}

Outcome Store::acl_entries(std::string_view acl, std::vector<std::string>& lines) {
  lines.clear();
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  const auto add = [&](const Row& row) {
    std::string line = row.text(0).value_or("");
    for (int col = 1; col < row.column_count(); ++col) {
      if (std::optional<std::string> value = row.text(col); value && !value->empty()) line += " " + *value;
    }
    lines.push_back(std::move(line));
  };
  for (std::string_view sql : {"SELECT 'user', \"user\", perms FROM acl_user WHERE acl = ?",
                               "SELECT 'group', grp, perms FROM acl_group WHERE acl = ?",
                               "SELECT kind, perms FROM acl_special WHERE acl = ?",
                               "SELECT 'attribute', name, value FROM acl_attribute WHERE acl = ?"}) {
    if (Outcome r = query(sql, {acl}, add); !r.ok()) return r;
  }
  std::sort(lines.begin(), lines.end());
  return success();
}

Outcome Store::acl_read(std::string_view acl, AclEntries& entries) {
  entries = {};
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  const auto perms_into = [](std::vector<kxadmin_acl_perm>& list) {
    return [&list](const Row& row) { list.push_back({row.text(0).value_or(""), row.text(1).value_or("")}); };
  };
  Outcome r = query("SELECT \"user\", perms FROM acl_user WHERE acl = ? ORDER BY \"user\"", {acl},
                    perms_into(entries.users));
  if (r.ok()) r = query("SELECT grp, perms FROM acl_group WHERE acl = ? ORDER BY grp", {acl}, perms_into(entries.groups));
  if (r.ok()) {
    r = query("SELECT kind, perms FROM acl_special WHERE acl = ?", {acl}, [&](const Row& row) {
      (row.text(0) == "any-other" ? entries.any_other : entries.unauthenticated) = row.text(1).value_or("");
    });
  }
  if (r.ok()) {
    r = query("SELECT name, value FROM acl_attribute WHERE acl = ? ORDER BY name", {acl},
              [&](const Row& row) { entries.attributes.push_back({row.text(0).value_or(""), row.text(1)}); });
  }
  if (!r.ok()) entries = {};
  return r;
}

Outcome Store::acl_get_attribute(std::string_view acl, std::string_view attribute, bool& present,
                                 std::optional<std::string>& value) {
  present = false;
  value.reset();
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  return query("SELECT value FROM acl_attribute WHERE acl = ? AND name = ?", {acl, attribute}, [&](const Row& row) {
    present = true;
    value = row.text(0);
  });
}

}  // namespace kx
