// The policy store, which stands in for the Varden Policy Server: its rules
// (codes, checks, injected faults, undo records) over a database reached
// through kx_backend.h.  The kxadmin_ library, the kxadmin tool and our
// other host tools (the SSL registration stand-in) all work through this
// interface; what the store holds is described in docs/policy-server.md.
//
// Typical use by a tool:
//   kx::Outcome err;
//   auto store = kx::Store::open(path, err);
//   if (!store || !store->sec_master_password_matches(pwd)) ...
//   kx::Outcome r = store->write([&] { return store->user_create(account, {}); });
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "kx_backend.h"
#include "kx_codes.h"
#include "kx_undo.h"

namespace kx {

// What one operation did: code 0 is success.  Reason 1 marks a failure whose
// change was nevertheless made (only injected faults produce it).
struct Outcome {
  std::uint32_t code = 0;
  int reason = 0;
  std::string message;
  bool ok() const { return code == 0; }
};
Outcome success();
Outcome failure(std::uint32_t code, std::string message);

// An injected fault: the next `count` calls of the kxadmin_ function `api`
// (for the object `name` when given) fail with `code` and `reason`.
struct Fault {
  std::string api;
  std::optional<std::string> name;
  std::uint32_t code = CODE_INJECTED_FAULT;
  int reason = 0;
  std::int64_t count = 1;
};

struct UserSpec {
  std::string_view name, dn, cn, sn, password;
  bool sso = false;
};

enum class AclSpecial { any_other, unauthenticated };

// A run of a program on a host (host name, process id, start time); the
// undo records of its changes are kept under it.
using RunTag = kxadmin_run_tag;
using RunInfo = kxadmin_run_info;
using AclEntries = kxadmin_acl_entries;
using Lease = kxadmin_lease;

class Store {
 public:
  // Opens an existing store.  Missing, unreadable and foreign files give no
  // store and CODE_STORE_UNAVAILABLE in `error`.
  // A read-only store changes nothing: every call only reads, and none
  // consumes an injected fault.
  static std::unique_ptr<Store> open(const std::string& path, Outcome& error, bool read_only = false);
  // Makes an empty store holding only the security master's password hash.
  // An existing store is replaced only when `replace` is set.
  static std::unique_ptr<Store> create(const std::string& path, std::string_view sec_master_password, bool replace,
                                       Outcome& error);

  // Opens a store of any version and brings it to this version; `from` is
  // the version it had.  A store of a newer or unknown version is refused.
  static Outcome migrate(const std::string& path, int& from);

  bool sec_master_password_matches(std::string_view password);
  const std::string& path() const { return path_; }
  // The store's clock (the database server's, where there is one).
  Outcome clock_ms(std::int64_t& ms);

  // While a run tag is set, every change made through write or call also
  // writes its undo record under the tag, in the same transaction.
  void set_run_tag(std::optional<RunTag> tag) { run_tag_ = std::move(tag); }
  const std::optional<RunTag>& run_tag() const { return run_tag_; }

  // Transactions.  `write` runs the change under the write lock (waiting for
  // other processes) and commits it only when it succeeds.  `call` does the
  // same for the kxadmin_ function `api` and first consumes a matching fault.
  // On a database where concurrent transactions may conflict (PostgreSQL's
  // serializable transactions), a conflicting call runs again from the
  // start, so `change` must be repeatable: it may run more than once.
  // `read` gives a consistent view for several queries.
  Outcome write(const std::function<Outcome()>& change);
  Outcome call(std::string_view api, opt_str name, const std::function<Outcome()>& change);
  Outcome read(const std::function<Outcome()>& query);

  // The operations below run inside one of the transactions above.
  Outcome objectspace_create(std::string_view name, int type, opt_str description);
  Outcome objectspace_delete(std::string_view name);
  Outcome objectspace_names(std::vector<std::string>& names);

  Outcome protobj_create(std::string_view name, int type, opt_str description);
  Outcome protobj_delete(std::string_view name);
  Outcome protobj_attach_acl(std::string_view object, std::string_view acl);
  Outcome protobj_detach_acl(std::string_view object);
  Outcome protobj_names(std::vector<std::string>& names);

  Outcome acl_create(std::string_view name);
  Outcome acl_delete(std::string_view name);
  Outcome acl_names(std::vector<std::string>& names);
  Outcome acl_set_user(std::string_view acl, std::string_view user, std::string_view perms);
  Outcome acl_remove_user(std::string_view acl, std::string_view user);
  Outcome acl_set_group(std::string_view acl, std::string_view group, std::string_view perms);
  Outcome acl_remove_group(std::string_view acl, std::string_view group);
  Outcome acl_set_special(std::string_view acl, AclSpecial kind, std::string_view perms);
  Outcome acl_remove_special(std::string_view acl, AclSpecial kind);
  Outcome acl_put_attribute(std::string_view acl, std::string_view attribute, opt_str value);
  Outcome acl_delete_attribute(std::string_view acl, std::string_view attribute);
  Outcome acl_read(std::string_view acl, AclEntries& entries);
  // `present` tells whether the ACL has the attribute; its value may be none.
  Outcome acl_get_attribute(std::string_view acl, std::string_view attribute, bool& present,
                            std::optional<std::string>& value);
  // One line per entry ("user NAME PERMS", "attribute NAME VALUE", ...), sorted.
  Outcome acl_entries(std::string_view acl, std::vector<std::string>& lines);

  // An action without a group lives in no action group; one created in a
  // group is known by its name within that group.
  Outcome action_create(std::string_view name, std::string_view label, std::string_view type, opt_str group);
  Outcome action_delete(std::string_view name, opt_str group);
  Outcome action_group_create(std::string_view group);
  Outcome action_group_delete(std::string_view group);
  // "NAME" for an action in no group, "NAME GROUP" for one in a group.
  Outcome action_entries(std::vector<std::string>& lines);

  Outcome group_create(std::string_view name, std::string_view dn, std::string_view cn);
  Outcome group_delete(std::string_view name);
  Outcome group_add_member(std::string_view group, std::string_view user);
  Outcome group_remove_member(std::string_view group, std::string_view user);
  Outcome group_names(std::vector<std::string>& names);
  // "dn DN", "cn CN", then "member USER" lines, sorted.
  Outcome group_details(std::string_view group, std::vector<std::string>& lines);

  Outcome user_create(const UserSpec& user, std::span<const std::string> groups);
  Outcome user_delete(std::string_view name);
  Outcome user_set_account_valid(std::string_view name, bool valid);
  Outcome user_account_valid(std::string_view name, bool& valid);
  // A pattern ending in "*" matches by prefix, any other exactly; a limit
  // of 0 returns every match.
  Outcome user_names(std::string_view pattern, std::size_t limit, std::vector<std::string>& names);

  Outcome fault_add(const Fault& fault);
  Outcome faults_clear();
  Outcome fault_lines(std::vector<std::string>& lines);

  // Runs with undo records (of one host, or of all), sorted by host,
  // process id and start time.
  Outcome run_list(opt_str host, std::vector<RunInfo>& runs);
  // Applies the run's newest undo record and removes it, in the current
  // transaction; `finished` when no record of the run is left.
  Outcome undo_newest(const RunTag& run, bool& finished);
  // Removes every undo record of the run.
  Outcome discard_run(const RunTag& run);
  // Rolls the run back, each record in its own transaction (meeting the
  // faults of `api` when given), so that a roll-back cut short is finished
  // by the next.
  Outcome rollback_run(const RunTag& run, std::string_view api);

  // Leases (kxadmin.h), by the store's clock.  `taken` tells whether the
  // run holds the lease now; `other` is the expired lease it took over, or
  // the live one that stopped it.  While leases taken through this store
  // are held, every change of policy first checks, in its transaction,
  // that the run still holds them: a run whose lease was taken over
  // changes nothing more (taking its own changes back stays possible).
  Outcome lease_take(std::string_view name, const RunTag& run, std::int64_t expiry_ms, bool& taken,
                     std::optional<Lease>& other);
  Outcome lease_renew(std::string_view name, const RunTag& run, std::int64_t expiry_ms);
  Outcome lease_release(std::string_view name, const RunTag& run);
  Outcome lease_break(std::string_view name, const RunTag& owner);
  Outcome lease_list(std::vector<Lease>& leases);

  // The whole policy as sorted text; password hashes show as "<hash>" and
  // faults are left out, so equal policies dump equally.  With `undo`, the
  // runs and their undo records follow, in the order of their runs and
  // then oldest first.
  Outcome dump(std::string& text, bool undo = false);

  // Building blocks of the operations, for the files that implement them.
  using SqlArg = kx::SqlArg;
  Outcome run(std::string_view sql, std::initializer_list<SqlArg> args);
  Outcome query(std::string_view sql, std::initializer_list<SqlArg> args, const RowFn& row);
  Outcome names_of(std::string_view sql, std::vector<std::string>& names);
  // Fails with `code` when the row `key` of `table` is missing.
  Outcome must_exist(std::string_view table, std::string_view what, std::string_view key, std::uint32_t code);
  Outcome must_not_exist(std::string_view table, std::string_view what, std::string_view key);
  // Runs an INSERT that ends in ON CONFLICT DO NOTHING; a row that is there
  // already fails as must_not_exist would.
  Outcome insert_new(std::string_view sql, std::initializer_list<SqlArg> args, std::string_view what,
                     std::string_view key);
  Outcome store_error() const;
  std::int64_t changes() const { return db_->changes(); }

  // Undo notes of the operations.  An operation that changes policy first
  // opens its group of steps (undo_begin_op), then notes, before each
  // change, how to take it back; the record of a call applies the groups
  // newest first.  Without a run tag the notes cost nothing.
  void undo_begin_op();
  // The row of `table` with this key as it is now: restored when it
  // exists, removed when it does not.
  Outcome undo_note_row(std::string_view table, std::initializer_list<SqlArg> key);
  // Every row of `table` whose `column` is `value`, restored.
  Outcome undo_note_rows_where(std::string_view table, std::string_view column, std::string_view value);
  // A row the change makes, removed.
  void undo_note_made(std::string_view table, std::initializer_list<std::string_view> key);

 private:
  Store(std::string path, std::unique_ptr<Backend> db, bool read_only = false)
      : path_(std::move(path)), db_(std::move(db)), read_only_(read_only) {}
  Outcome take_fault(std::string_view api, opt_str name, std::optional<Fault>& fault);
  // One attempt of `call`: its transaction, which a conflict with another
  // client's may end; `committed` tells whether its transaction was.
  Outcome call_once(std::string_view api, opt_str name, const std::function<Outcome()>& change, bool& committed);
  // The change with its undo record; the savepoint keeps a consumed fault
  // while a failed change is undone.
  Outcome changed(std::string_view api, opt_str name, const std::function<Outcome()>& change);
  Outcome in_savepoint(std::string_view api, opt_str name, const std::function<Outcome()>& change);
  Outcome write_undo_record(std::string_view api, opt_str name);
  // Creating and migrating: schema steps from version `from` on, inside a
  // schema_change.
  Outcome schema_change(const std::function<Outcome()>& change);
  Outcome run_schema_steps(std::size_t from);
  Outcome run_id(const RunTag& run, bool make, std::int64_t& id);
  Outcome apply_undo_step(const UndoStep& step);
  Outcome dump_undo(std::string& text);
  Outcome run_sql_lease_upsert(std::string_view name, const RunTag& run, std::int64_t expires);
  // Fails with CODE_LEASE_LOST when the run no longer holds every lease it
  // took through this store.
  Outcome leases_still_held();

  std::string path_;
  std::unique_ptr<Backend> db_;
  bool read_only_ = false;
  std::optional<RunTag> run_tag_;
  std::deque<std::vector<UndoStep>> undo_groups_;
  // The leases taken through this store and not given up: while there are
  // any, a change of policy is made only by their holder.
  std::set<std::string, std::less<>> leases_taken_;
};

}  // namespace kx
