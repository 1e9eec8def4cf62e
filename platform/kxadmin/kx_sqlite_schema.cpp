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

// Version 2: undo records of runs, and an index on every referring column
// that no key starts with, so that a delete does not scan the tables that
// refer to what it deletes (objects without an ACL stay out of
// protobj_acl, so making one does not write to it).  The undo records of a
// run lie together in their table's own key (no rowid), so that writing one
// touches one b-tree and the newest is found at once.
constexpr const char* VERSION_2 = R"sql(
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

constexpr std::array<const char*, 2> STEPS{VERSION_1, VERSION_2};
static_assert(STEPS.size() == SCHEMA_VERSION, "one step per schema version");

}  // namespace

std::span<const char* const> sqlite_schema_steps() { return STEPS; }

}  // namespace kx
