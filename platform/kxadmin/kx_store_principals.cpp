// Actions, action groups, groups and users.
#include <algorithm>

#include "kx_password.h"
#include "kx_store.h"

namespace kx {
namespace {

// Adding a member that is there already changes nothing.
constexpr std::string_view ADD_MEMBER = "INSERT INTO grp_member(grp, \"user\") VALUES(?, ?) ON CONFLICT DO NOTHING";

std::string in_quotes(std::string_view name) { return "\"" + std::string(name) + "\""; }

std::string action_text(std::string_view name, opt_str group) {
  return "action " + in_quotes(name) + (group ? " in action group " + in_quotes(*group) : std::string());
}

}  // namespace

Outcome Store::action_create(std::string_view name, std::string_view label, std::string_view type, opt_str group) {
  bool found = false;
  const auto mark = [&](const Row&) { found = true; };
  Outcome r;
  if (group) {
    if (r = must_exist("action_group", "action group", *group, CODE_REFERENCE_MISSING); !r.ok()) return r;
    r = query("SELECT 1 FROM action_group_member WHERE grp = ? AND name = ?", {*group, name}, mark);
  } else {
    r = query("SELECT 1 FROM action WHERE name = ?", {name}, mark);
  }
  if (!r.ok()) return r;
  if (found) return failure(CODE_EXISTS, action_text(name, group) + " already exists");
  undo_begin_op();
  if (group) {
    undo_note_made("action_group_member", {*group, name});
    return run("INSERT INTO action_group_member(grp, name, label, type) VALUES(?, ?, ?, ?)",
               {*group, name, label, type});
  }
  undo_note_made("action", {name});
  return run("INSERT INTO action(name, label, type) VALUES(?, ?, ?)", {name, label, type});
}

Outcome Store::action_delete(std::string_view name, opt_str group) {
  if (group) {
    if (Outcome r = must_exist("action_group", "action group", *group, CODE_REFERENCE_MISSING); !r.ok()) return r;
  }
  undo_begin_op();
  Outcome r = group ? undo_note_row("action_group_member", {*group, name}) : undo_note_row("action", {name});
  if (r.ok()) {
    r = group ? run("DELETE FROM action_group_member WHERE grp = ? AND name = ?", {*group, name})
              : run("DELETE FROM action WHERE name = ?", {name});
  }
  if (!r.ok()) return r;
  if (changes() == 0) return failure(CODE_NOT_FOUND, action_text(name, group) + " does not exist");
  return success();
}

Outcome Store::action_group_create(std::string_view group) {
  undo_begin_op();
  undo_note_made("action_group", {group});
  return insert_new("INSERT INTO action_group(name) VALUES(?) ON CONFLICT DO NOTHING", {group}, "action group", group);
}

// The group's actions go with it.
Outcome Store::action_group_delete(std::string_view group) {
  if (Outcome r = must_exist("action_group", "action group", group, CODE_NOT_FOUND); !r.ok()) return r;
  undo_begin_op();
  Outcome r = undo_note_row("action_group", {group});
  if (r.ok()) r = undo_note_rows_where("action_group_member", "grp", group);
  return r.ok() ? run("DELETE FROM action_group WHERE name = ?", {group}) : r;
}

Outcome Store::action_entries(std::vector<std::string>& lines) {
  lines.clear();
  const auto add = [&](const Row& row) { lines.push_back(row.text(0).value_or("")); };
  Outcome r = query("SELECT name FROM action", {}, add);
  if (r.ok()) r = query("SELECT name || ' ' || grp FROM action_group_member", {}, add);
  std::sort(lines.begin(), lines.end());
  return r;
}

Outcome Store::group_create(std::string_view name, std::string_view dn, std::string_view cn) {
  undo_begin_op();
  undo_note_made("grp", {name});
  return insert_new("INSERT INTO grp(name, dn, cn) VALUES(?, ?, ?) ON CONFLICT DO NOTHING", {name, dn, cn}, "group",
                    name);
}

// Memberships and ACL entries of the group go with it.
Outcome Store::group_delete(std::string_view name) {
  if (Outcome r = must_exist("grp", "group", name, CODE_NOT_FOUND); !r.ok()) return r;
  undo_begin_op();
  Outcome r = undo_note_row("grp", {name});
  if (r.ok()) r = undo_note_rows_where("grp_member", "grp", name);
  if (r.ok()) r = undo_note_rows_where("acl_group", "grp", name);
  return r.ok() ? run("DELETE FROM grp WHERE name = ?", {name}) : r;
}

Outcome Store::group_add_member(std::string_view group, std::string_view user) {
  if (Outcome r = must_exist("grp", "group", group, CODE_NOT_FOUND); !r.ok()) return r;
  if (Outcome r = must_exist("user", "user", user, CODE_REFERENCE_MISSING); !r.ok()) return r;
  undo_begin_op();
  undo_note_made("grp_member", {group, user});
  if (Outcome r = run(ADD_MEMBER, {group, user}); !r.ok()) return r;
  if (changes() == 0) {
    return failure(CODE_EXISTS, "user " + in_quotes(user) + " is already a member of group " + in_quotes(group));
  }
  return success();
}

Outcome Store::group_remove_member(std::string_view group, std::string_view user) {
  if (Outcome r = must_exist("grp", "group", group, CODE_NOT_FOUND); !r.ok()) return r;
  undo_begin_op();
  if (Outcome r = undo_note_row("grp_member", {group, user}); !r.ok()) return r;
  if (Outcome r = run("DELETE FROM grp_member WHERE grp = ? AND \"user\" = ?", {group, user}); !r.ok()) return r;
  if (changes() == 0) {
    return failure(CODE_NOT_PRESENT, "user " + in_quotes(user) + " is not a member of group " + in_quotes(group));
  }
  return success();
}

Outcome Store::group_names(std::vector<std::string>& names) {
  return names_of("SELECT name FROM grp ORDER BY name", names);
}

Outcome Store::group_details(std::string_view group, std::vector<std::string>& lines) {
  lines.clear();
  if (Outcome r = must_exist("grp", "group", group, CODE_NOT_FOUND); !r.ok()) return r;
  Outcome r = query("SELECT dn, cn FROM grp WHERE name = ?", {group}, [&](const Row& row) {
    lines.push_back("dn " + row.text(0).value_or(""));
    lines.push_back("cn " + row.text(1).value_or(""));
  });
  if (!r.ok()) return r;
  return query("SELECT \"user\" FROM grp_member WHERE grp = ? ORDER BY \"user\"", {group},
               [&](const Row& row) { lines.push_back("member " + row.text(0).value_or("")); });
}

// A new account is not valid until it is made so, as on the policy server.
Outcome Store::user_create(const UserSpec& user, std::span<const std::string> groups) {
  if (Outcome r = must_not_exist("user", "user", user.name); !r.ok()) return r;
  const std::optional<std::string> hash = hash_password(user.password);
  if (!hash) return failure(CODE_BAD_ARGUMENT, "the password of user " + in_quotes(user.name) + " cannot be hashed");
  undo_begin_op();
  Outcome r =
      run("INSERT INTO \"user\"(name, dn, cn, sn, password_hash, sso, account_valid) VALUES(?, ?, ?, ?, ?, ?, 0)",
          {user.name, user.dn, user.cn, user.sn, std::string_view(*hash), std::int64_t{user.sso ? 1 : 0}});
  for (const std::string& group : groups) {
    if (!r.ok()) break;
    r = must_exist("grp", "group", group, CODE_REFERENCE_MISSING);
    if (r.ok()) r = run(ADD_MEMBER, {group, user.name});
    if (r.ok() && changes() > 0) undo_note_made("grp_member", {group, user.name});
  }
  // Undone after its memberships.
  undo_note_made("user", {user.name});
  return r;
}

// Memberships and ACL entries of the user go with it.
Outcome Store::user_delete(std::string_view name) {
  if (Outcome r = must_exist("user", "user", name, CODE_NOT_FOUND); !r.ok()) return r;
  undo_begin_op();
  Outcome r = undo_note_row("user", {name});
  if (r.ok()) r = undo_note_rows_where("grp_member", "user", name);
  if (r.ok()) r = undo_note_rows_where("acl_user", "user", name);
  return r.ok() ? run("DELETE FROM \"user\" WHERE name = ?", {name}) : r;
}

Outcome Store::user_set_account_valid(std::string_view name, bool valid) {
  if (Outcome r = must_exist("user", "user", name, CODE_NOT_FOUND); !r.ok()) return r;
  undo_begin_op();
  if (Outcome r = undo_note_row("user", {name}); !r.ok()) return r;
  return run("UPDATE \"user\" SET account_valid = ? WHERE name = ?", {std::int64_t{valid ? 1 : 0}, name});
}

Outcome Store::user_account_valid(std::string_view name, bool& valid) {
  valid = false;
  if (Outcome r = must_exist("user", "user", name, CODE_NOT_FOUND); !r.ok()) return r;
  return query("SELECT account_valid FROM \"user\" WHERE name = ?", {name},
               [&](const Row& row) { valid = row.integer(0) != 0; });
}

Outcome Store::user_names(std::string_view pattern, std::size_t limit, std::vector<std::string>& names) {
  const bool prefix = pattern.ends_with('*');
  if (prefix) pattern.remove_suffix(1);
  names.clear();
  // Names sort as bytes (SQLite's BINARY collation), the same order as
  // std::string comparison.
  return query("SELECT name FROM \"user\" ORDER BY name", {}, [&](const Row& row) {
    std::string name = row.text(0).value_or("");
    const bool match = prefix ? std::string_view(name).starts_with(pattern) : name == pattern;
    if (match && (limit == 0 || names.size() < limit)) names.push_back(std::move(name));
  });
}

}  // namespace kx
