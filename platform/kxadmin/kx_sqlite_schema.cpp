// The store's tables in SQLite.  A new store runs every step; a store of an
// older version runs the steps after its own (kxadmin migrate), so both end
// with the same tables.
#include <array>

#include "kx_schema.h"
#include "kx_sqlite_backend.h"

namespace kx {
namespace {

// Version 1.  Foreign keys carry the clean-up on delete: an ACL's entries
// go with the ACL, the user or the group; objects lose a deleted ACL;
// memberships go with either side; an action group takes its actions with
// it.
constexpr const char* VERSION_1 = R"sql(
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

// Version 2.  The tables of policy keep their rows in their key (WITHOUT
// ROWID), so that writing a row touches one b-tree, not a table and its key
// index: every command is a durable transaction, and its cost grows with
// the pages it writes.  They are rebuilt as SQLite rebuilds tables: made
// anew, filled, the old one dropped (foreign keys are off around the
// transaction, see schema_transaction) and the new one renamed.  Every
// column that refers to another table and starts no key gets an index, so
// that a delete does not scan the tables that refer to what it deletes
// (objects without an ACL stay out of protobj_acl, so making one does not
// write to it).  The undo records of a run lie together in their table's own
// key, so that writing one touches one b-tree and the newest is found at
// once.
constexpr const char* VERSION_2 = R"sql(
CREATE TABLE new_objectspace(name TEXT PRIMARY KEY, type INTEGER NOT NULL, description TEXT) WITHOUT ROWID;
INSERT INTO new_objectspace SELECT name, type, description FROM objectspace;
DROP TABLE objectspace;
ALTER TABLE new_objectspace RENAME TO objectspace;

CREATE TABLE new_acl(name TEXT PRIMARY KEY) WITHOUT ROWID;
INSERT INTO new_acl SELECT name FROM acl;
DROP TABLE acl;
ALTER TABLE new_acl RENAME TO acl;

CREATE TABLE new_protobj(name TEXT PRIMARY KEY, type INTEGER NOT NULL, description TEXT,
  acl TEXT REFERENCES acl(name) ON DELETE SET NULL) WITHOUT ROWID;
INSERT INTO new_protobj SELECT name, type, description, acl FROM protobj;
DROP TABLE protobj;
ALTER TABLE new_protobj RENAME TO protobj;

CREATE TABLE new_user(name TEXT PRIMARY KEY, dn TEXT NOT NULL, cn TEXT NOT NULL, sn TEXT NOT NULL,
  password_hash TEXT NOT NULL, sso INTEGER NOT NULL, account_valid INTEGER NOT NULL) WITHOUT ROWID;
INSERT INTO new_user SELECT name, dn, cn, sn, password_hash, sso, account_valid FROM user;
DROP TABLE user;
ALTER TABLE new_user RENAME TO user;

CREATE TABLE new_grp(name TEXT PRIMARY KEY, dn TEXT NOT NULL, cn TEXT NOT NULL) WITHOUT ROWID;
INSERT INTO new_grp SELECT name, dn, cn FROM grp;
DROP TABLE grp;
ALTER TABLE new_grp RENAME TO grp;

CREATE TABLE new_grp_member(grp TEXT NOT NULL REFERENCES grp(name) ON DELETE CASCADE,
  user TEXT NOT NULL REFERENCES user(name) ON DELETE CASCADE, PRIMARY KEY(grp, user)) WITHOUT ROWID;
INSERT INTO new_grp_member SELECT grp, user FROM grp_member;
DROP TABLE grp_member;
ALTER TABLE new_grp_member RENAME TO grp_member;

CREATE TABLE new_acl_user(acl TEXT NOT NULL REFERENCES acl(name) ON DELETE CASCADE,
  user TEXT NOT NULL REFERENCES user(name) ON DELETE CASCADE, perms TEXT NOT NULL,
  PRIMARY KEY(acl, user)) WITHOUT ROWID;
INSERT INTO new_acl_user SELECT acl, user, perms FROM acl_user;
DROP TABLE acl_user;
ALTER TABLE new_acl_user RENAME TO acl_user;

CREATE TABLE new_acl_group(acl TEXT NOT NULL REFERENCES acl(name) ON DELETE CASCADE,
  grp TEXT NOT NULL REFERENCES grp(name) ON DELETE CASCADE, perms TEXT NOT NULL,
  PRIMARY KEY(acl, grp)) WITHOUT ROWID;
INSERT INTO new_acl_group SELECT acl, grp, perms FROM acl_group;
DROP TABLE acl_group;
ALTER TABLE new_acl_group RENAME TO acl_group;

CREATE TABLE new_acl_special(acl TEXT NOT NULL REFERENCES acl(name) ON DELETE CASCADE,
  kind TEXT NOT NULL CHECK(kind IN ('any-other', 'unauthenticated')), perms TEXT NOT NULL,
  PRIMARY KEY(acl, kind)) WITHOUT ROWID;
INSERT INTO new_acl_special SELECT acl, kind, perms FROM acl_special;
DROP TABLE acl_special;
ALTER TABLE new_acl_special RENAME TO acl_special;

CREATE TABLE new_acl_attribute(acl TEXT NOT NULL REFERENCES acl(name) ON DELETE CASCADE,
  name TEXT NOT NULL, value TEXT, PRIMARY KEY(acl, name)) WITHOUT ROWID;
INSERT INTO new_acl_attribute SELECT acl, name, value FROM acl_attribute;
DROP TABLE acl_attribute;
ALTER TABLE new_acl_attribute RENAME TO acl_attribute;

CREATE TABLE new_action(name TEXT PRIMARY KEY, label TEXT NOT NULL, type TEXT NOT NULL) WITHOUT ROWID;
INSERT INTO new_action SELECT name, label, type FROM action;
DROP TABLE action;
ALTER TABLE new_action RENAME TO action;

CREATE TABLE new_action_group(name TEXT PRIMARY KEY) WITHOUT ROWID;
INSERT INTO new_action_group SELECT name FROM action_group;
DROP TABLE action_group;
ALTER TABLE new_action_group RENAME TO action_group;

CREATE TABLE new_action_group_member(grp TEXT NOT NULL REFERENCES action_group(name) ON DELETE CASCADE,
  name TEXT NOT NULL, label TEXT NOT NULL, type TEXT NOT NULL, PRIMARY KEY(grp, name)) WITHOUT ROWID;
INSERT INTO new_action_group_member SELECT grp, name, label, type FROM action_group_member;
DROP TABLE action_group_member;
ALTER TABLE new_action_group_member RENAME TO action_group_member;

CREATE INDEX protobj_acl ON protobj(acl) WHERE acl IS NOT NULL;
CREATE INDEX acl_user_user ON acl_user(user);
CREATE INDEX acl_group_grp ON acl_group(grp);
CREATE INDEX grp_member_user ON grp_member(user);
CREATE INDEX fault_api ON fault(api, id);
CREATE TABLE run(id INTEGER PRIMARY KEY, host TEXT NOT NULL, pid INTEGER NOT NULL, started INTEGER NOT NULL,
  UNIQUE(host, pid, started));
CREATE TABLE undo(run INTEGER NOT NULL REFERENCES run(id) ON DELETE CASCADE, seq INTEGER NOT NULL,
  api TEXT NOT NULL, name TEXT, steps TEXT NOT NULL, PRIMARY KEY(run, seq)) WITHOUT ROWID;
)sql";

// Version 3: the leases on shared policy, one row per lease, its owner a
// run tag and its expiry a time of the store's clock in milliseconds.
constexpr const char* VERSION_3 = R"sql(
CREATE TABLE lease(name TEXT PRIMARY KEY, host TEXT NOT NULL, pid INTEGER NOT NULL, started INTEGER NOT NULL,
  expires INTEGER NOT NULL) WITHOUT ROWID;
)sql";

constexpr std::array<const char*, 3> STEPS{VERSION_1, VERSION_2, VERSION_3};
static_assert(STEPS.size() == SCHEMA_VERSION, "one step per schema version");

}  // namespace

std::span<const char* const> sqlite_schema_steps() { return STEPS; }

}  // namespace kx
