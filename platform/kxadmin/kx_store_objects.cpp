// Object spaces, protected objects and ACLs.
#include <algorithm>

#include "kx_store.h"

namespace kx {
namespace {

std::string_view special_name(AclSpecial kind) {
  return kind == AclSpecial::any_other ? "any-other" : "unauthenticated";
}

}  // namespace

// Object spaces are independent of the protected objects named beneath
// them: deleting one leaves those objects alone.
Outcome Store::objectspace_create(std::string_view name, int type, opt_str description) {
  if (Outcome r = must_not_exist("objectspace", "object space", name); !r.ok()) return r;
  return run("INSERT INTO objectspace(name, type, description) VALUES(?, ?, ?)",
             {name, std::int64_t{type}, description});
}

Outcome Store::objectspace_delete(std::string_view name) {
  if (Outcome r = must_exist("objectspace", "object space", name, CODE_NOT_FOUND); !r.ok()) return r;
  return run("DELETE FROM objectspace WHERE name = ?", {name});
}

Outcome Store::objectspace_names(std::vector<std::string>& names) {
  return names_of("SELECT name FROM objectspace ORDER BY name", names);
}

Outcome Store::protobj_create(std::string_view name, int type, opt_str description) {
  if (Outcome r = must_not_exist("protobj", "protected object", name); !r.ok()) return r;
  return run("INSERT INTO protobj(name, type, description) VALUES(?, ?, ?)", {name, std::int64_t{type}, description});
}

Outcome Store::protobj_delete(std::string_view name) {
  if (Outcome r = must_exist("protobj", "protected object", name, CODE_NOT_FOUND); !r.ok()) return r;
  return run("DELETE FROM protobj WHERE name = ?", {name});
}

// Attaching replaces an ACL already attached, as an object has at most one.
Outcome Store::protobj_attach_acl(std::string_view object, std::string_view acl) {
  if (Outcome r = must_exist("protobj", "protected object", object, CODE_NOT_FOUND); !r.ok()) return r;
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_REFERENCE_MISSING); !r.ok()) return r;
  return run("UPDATE protobj SET acl = ? WHERE name = ?", {acl, object});
}

Outcome Store::protobj_detach_acl(std::string_view object) {
  if (Outcome r = must_exist("protobj", "protected object", object, CODE_NOT_FOUND); !r.ok()) return r;
  if (Outcome r = run("UPDATE protobj SET acl = NULL WHERE name = ? AND acl IS NOT NULL", {object}); !r.ok()) return r;
  if (db_.changes() == 0) {
    return failure(CODE_NOT_PRESENT, "protected object \"" + std::string(object) + "\" has no ACL attached");
  }
  return success();
}

Outcome Store::protobj_names(std::vector<std::string>& names) {
  return names_of("SELECT name FROM protobj ORDER BY name", names);
}

Outcome Store::acl_create(std::string_view name) {
  if (Outcome r = must_not_exist("acl", "ACL", name); !r.ok()) return r;
  return run("INSERT INTO acl(name) VALUES(?)", {name});
}

// The ACL's entries go with it and objects it was attached to lose it
// (foreign keys, see kx_schema.cpp).
Outcome Store::acl_delete(std::string_view name) {
  if (Outcome r = must_exist("acl", "ACL", name, CODE_NOT_FOUND); !r.ok()) return r;
  return run("DELETE FROM acl WHERE name = ?", {name});
}

Outcome Store::acl_names(std::vector<std::string>& names) {
  return names_of("SELECT name FROM acl ORDER BY name", names);
}

Outcome Store::acl_set_user(std::string_view acl, std::string_view user, std::string_view perms) {
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  if (Outcome r = must_exist("user", "user", user, CODE_REFERENCE_MISSING); !r.ok()) return r;
  return run("INSERT INTO acl_user(acl, user, perms) VALUES(?, ?, ?) "
             "ON CONFLICT(acl, user) DO UPDATE SET perms = excluded.perms",
             {acl, user, perms});
}

Outcome Store::acl_set_group(std::string_view acl, std::string_view group, std::string_view perms) {
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  if (Outcome r = must_exist("grp", "group", group, CODE_REFERENCE_MISSING); !r.ok()) return r;
  return run("INSERT INTO acl_group(acl, grp, perms) VALUES(?, ?, ?) "
             "ON CONFLICT(acl, grp) DO UPDATE SET perms = excluded.perms",
             {acl, group, perms});
}

Outcome Store::acl_set_special(std::string_view acl, AclSpecial kind, std::string_view perms) {
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  return run("INSERT INTO acl_special(acl, kind, perms) VALUES(?, ?, ?) "
             "ON CONFLICT(acl, kind) DO UPDATE SET perms = excluded.perms",
             {acl, special_name(kind), perms});
}

// An attribute holds one value (or none); putting it again replaces it.
Outcome Store::acl_put_attribute(std::string_view acl, std::string_view attribute, opt_str value) {
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  return run("INSERT INTO acl_attribute(acl, name, value) VALUES(?, ?, ?) "
             "ON CONFLICT(acl, name) DO UPDATE SET value = excluded.value",
             {acl, attribute, value});
}

namespace {

Outcome removed_or_absent(int changes, std::string_view acl, const std::string& entry) {
  if (changes > 0) return success();
  return failure(CODE_NOT_PRESENT, "ACL \"" + std::string(acl) + "\" has no " + entry + " entry");
}

}  // namespace

Outcome Store::acl_remove_user(std::string_view acl, std::string_view user) {
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  if (Outcome r = run("DELETE FROM acl_user WHERE acl = ? AND user = ?", {acl, user}); !r.ok()) return r;
  return removed_or_absent(db_.changes(), acl, "user \"" + std::string(user) + "\"");
}

Outcome Store::acl_remove_group(std::string_view acl, std::string_view group) {
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  if (Outcome r = run("DELETE FROM acl_group WHERE acl = ? AND grp = ?", {acl, group}); !r.ok()) return r;
  return removed_or_absent(db_.changes(), acl, "group \"" + std::string(group) + "\"");
}

Outcome Store::acl_remove_special(std::string_view acl, AclSpecial kind) {
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  if (Outcome r = run("DELETE FROM acl_special WHERE acl = ? AND kind = ?", {acl, special_name(kind)}); !r.ok()) {
    return r;
  }
  return removed_or_absent(db_.changes(), acl, std::string(special_name(kind)));
}

Outcome Store::acl_entries(std::string_view acl, std::vector<std::string>& lines) {
  lines.clear();
  if (Outcome r = must_exist("acl", "ACL", acl, CODE_NOT_FOUND); !r.ok()) return r;
  const auto add = [&](const Statement& row) {
    std::string line = row.text(0).value_or("");
    for (int col = 1; col < row.column_count(); ++col) {
      if (std::optional<std::string> value = row.text(col); value && !value->empty()) line += " " + *value;
    }
    lines.push_back(std::move(line));
  };
  for (std::string_view sql : {"SELECT 'user', user, perms FROM acl_user WHERE acl = ?",
                               "SELECT 'group', grp, perms FROM acl_group WHERE acl = ?",
                               "SELECT kind, perms FROM acl_special WHERE acl = ?",
                               "SELECT 'attribute', name, value FROM acl_attribute WHERE acl = ?"}) {
    if (Outcome r = query(sql, {acl}, add); !r.ok()) return r;
  }
  std::sort(lines.begin(), lines.end());
  return success();
}

}  // namespace kx
