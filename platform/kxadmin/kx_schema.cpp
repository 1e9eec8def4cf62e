#include "kx_schema.h"

#include <array>

namespace kx {

// Foreign keys carry the clean-up on delete: an ACL's entries go with the
// ACL, the user or the group; objects lose a deleted ACL; memberships go
// with either side; an action group takes its actions with it.
const char* const SCHEMA_SQL = R"sql(
CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE sec_master(password_hash TEXT NOT NULL);
CREATE TABLE objectspace(name TEXT PRIMARY KEY, type INTEGER NOT NULL, description TEXT);
CREATE TABLE acl(name TEXT PRIMARY KEY);
CREATE TABLE protobj(name TEXT PRIMARY KEY, type INTEGER NOT NULL, description TEXT,
  acl TEXT REFERENCES acl(name) ON DELETE SET NULL);
CREATE TABLE user(name TEXT PRIMARY KEY, dn TEXT NOT NULL, cn TEXT NOT NULL, sn TEXT NOT NULL,
  password_hash TEXT NOT NULL, sso INTEGER NOT NULL, account_valid INTEGER NOT NULL);
CREATE TABLE grp(name TEXT PRIMARY KEY, dn TEXT NOT NULL, cn TEXT NOT NULL);
CREATE TABLE grp_member(grp TEXT NOT NULL REFERENCES grp(name) ON DELETE CASCADE,
  user TEXT NOT NULL REFERENCES user(name) ON DELETE CASCADE, PRIMARY KEY(grp, user));
CREATE TABLE acl_user(acl TEXT NOT NULL REFERENCES acl(name) ON DELETE CASCADE,
  user TEXT NOT NULL REFERENCES user(name) ON DELETE CASCADE, perms TEXT NOT NULL, PRIMARY KEY(acl, user));
CREATE TABLE acl_group(acl TEXT NOT NULL REFERENCES acl(name) ON DELETE CASCADE,
  grp TEXT NOT NULL REFERENCES grp(name) ON DELETE CASCADE, perms TEXT NOT NULL, PRIMARY KEY(acl, grp));
CREATE TABLE acl_special(acl TEXT NOT NULL REFERENCES acl(name) ON DELETE CASCADE,
  kind TEXT NOT NULL CHECK(kind IN ('any-other', 'unauthenticated')), perms TEXT NOT NULL, PRIMARY KEY(acl, kind));
CREATE TABLE acl_attribute(acl TEXT NOT NULL REFERENCES acl(name) ON DELETE CASCADE,
  name TEXT NOT NULL, value TEXT, PRIMARY KEY(acl, name));
CREATE TABLE action(name TEXT PRIMARY KEY, label TEXT NOT NULL, type TEXT NOT NULL);
CREATE TABLE action_group(name TEXT PRIMARY KEY);
CREATE TABLE action_group_member(grp TEXT NOT NULL REFERENCES action_group(name) ON DELETE CASCADE,
  name TEXT NOT NULL, label TEXT NOT NULL, type TEXT NOT NULL, PRIMARY KEY(grp, name));
CREATE TABLE fault(id INTEGER PRIMARY KEY, api TEXT NOT NULL, name TEXT, code INTEGER NOT NULL,
  reason INTEGER NOT NULL, remaining INTEGER NOT NULL CHECK(remaining > 0));
)sql";

namespace {

constexpr std::array<DumpTable, 15> DUMP_TABLES{{
    {"meta", "key, value", ""},
    {"sec_master", "password_hash", "password_hash"},
    {"objectspace", "name, type, description", ""},
    {"protobj", "name, type, description, acl", ""},
    {"acl", "name", ""},
    {"acl_user", "acl, user, perms", ""},
    {"acl_group", "acl, grp, perms", ""},
    {"acl_special", "acl, kind, perms", ""},
    {"acl_attribute", "acl, name, value", ""},
    {"action", "name, label, type", ""},
    {"action_group", "name", ""},
    {"action_group_member", "grp, name, label, type", ""},
    {"grp", "name, dn, cn", ""},
    {"grp_member", "grp, user", ""},
    {"user", "name, dn, cn, sn, password_hash, sso, account_valid", "password_hash"},
}};

}  // namespace

std::span<const DumpTable> dump_tables() { return DUMP_TABLES; }

}  // namespace kx
