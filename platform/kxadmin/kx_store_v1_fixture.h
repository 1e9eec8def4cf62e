// A store as version 1 of the store made it, frozen here so that migration
// is tested against what old stores really hold, whatever the current
// table definitions say.
#pragma once

#include <sqlite3.h>

#include <string>

#include "kx_password.h"

namespace kxtest {

inline constexpr const char* VERSION_1_TABLES = R"sql(
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

// Some policy of every kind, as a version 1 store held it.
inline constexpr const char* VERSION_1_POLICY = R"sql(
INSERT INTO meta VALUES('schema_version', '1');
INSERT INTO objectspace VALUES('/BREVIK', 14, 'Zarn product');
INSERT INTO acl VALUES('brevik-admin');
INSERT INTO protobj VALUES('/BREVIK/x', 0, NULL, 'brevik-admin');
INSERT INTO user VALUES('zarnd/h1', 'cn=h1', 'h1', 'zarnd', 'not-a-real-hash', 1, 0);
INSERT INTO grp VALUES('brevik-servers', 'cn=servers', 'servers');
INSERT INTO grp_member VALUES('brevik-servers', 'zarnd/h1');
INSERT INTO acl_user VALUES('brevik-admin', 'zarnd/h1', 'Tr');
INSERT INTO acl_attribute VALUES('brevik-admin', 'mode', NULL);
INSERT INTO fault VALUES(1, 'kxadmin_acl_create', NULL, 5, 0, 1);
)sql";

// Writes a version 1 store at `path` whose security master password is
// `password`; false when SQLite fails.
inline bool make_version1_store(const std::string& path, const std::string& password, const char* schema_version = "1") {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK;
  const std::optional<std::string> hash = kx::hash_password(password);
  const std::string policy = std::string(VERSION_1_POLICY) + "INSERT INTO sec_master VALUES('" + hash.value_or("") +
                             "'); UPDATE meta SET value = '" + schema_version + "';";
  ok = ok && hash && sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr) == SQLITE_OK &&
       sqlite3_exec(db, VERSION_1_TABLES, nullptr, nullptr, nullptr) == SQLITE_OK &&
       sqlite3_exec(db, policy.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close_v2(db);
  return ok;
}

}  // namespace kxtest
