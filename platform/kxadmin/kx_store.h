// The policy store: an SQLite database that stands in for the Varden Policy
// Server.  The kxadmin_ library, the kxadmin tool and our other host tools
// (the SSL registration stand-in) all work through this interface; what the
// store holds is described in docs/policy-server.md.
//
// Typical use by a tool:
//   kx::Outcome err;
//   auto store = kx::Store::open(path, err);
//   if (!store || !store->sec_master_password_matches(pwd)) ...
//   kx::Outcome r = store->write([&] { return store->user_create(account, {}); });
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "kx_codes.h"
#include "kx_sqlite.h"

namespace kx {

using opt_str = std::optional<std::string_view>;

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

class Store {
 public:
  // Opens an existing store.  Missing, unreadable and foreign files give no
  // store and CODE_STORE_UNAVAILABLE in `error`.
  static std::unique_ptr<Store> open(const std::string& path, Outcome& error);
  // Makes an empty store holding only the security master's password hash.
  // An existing store is replaced only when `replace` is set.
  static std::unique_ptr<Store> create(const std::string& path, std::string_view sec_master_password, bool replace,
                                       Outcome& error);

  bool sec_master_password_matches(std::string_view password);
  const std::string& path() const { return path_; }

  // Transactions.  `write` runs the change under the write lock (waiting for
  // other processes) and commits it only when it succeeds.  `call` does the
  // same for the kxadmin_ function `api` and first consumes a matching fault.
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
  // A pattern ending in "*" matches by prefix, any other exactly; a limit
  // of 0 returns every match.
  Outcome user_names(std::string_view pattern, std::size_t limit, std::vector<std::string>& names);

  Outcome fault_add(const Fault& fault);
  Outcome faults_clear();
  Outcome fault_lines(std::vector<std::string>& lines);

  // The whole policy as sorted text; password hashes show as "<hash>" and
  // faults are left out, so equal policies dump equally.
  Outcome dump(std::string& text);

  // Building blocks of the operations, for the files that implement them.
  using SqlArg = std::variant<opt_str, std::int64_t>;
  Outcome run(std::string_view sql, std::initializer_list<SqlArg> args);
  Outcome query(std::string_view sql, std::initializer_list<SqlArg> args,
                const std::function<void(const Statement&)>& row);
  Outcome names_of(std::string_view sql, std::vector<std::string>& names);
  // Fails with `code` when the row `key` of `table` is missing.
  Outcome must_exist(std::string_view table, std::string_view what, std::string_view key, std::uint32_t code);
  Outcome must_not_exist(std::string_view table, std::string_view what, std::string_view key);
  Outcome store_error() const;

 private:
  explicit Store(std::string path) : path_(std::move(path)) {}
  bool configure_connection(Outcome& error);
  Outcome transact(const char* begin, const std::function<Outcome(Outcome&)>& body);
  Outcome take_fault(std::string_view api, opt_str name, std::optional<Fault>& fault);
  Outcome in_savepoint(const std::function<Outcome()>& change);

  std::string path_;
  Database db_;
};

}  // namespace kx
