// Policy administration library: the calls into the Varden Policy Server
// that the program uses.  platform/kxadmin is our implementation, backed by
// the policy store (docs/policy-server.md).  The calls after "Extensions"
// at the end belong to this product's store, not to the platform library.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct kxadmin_context;
struct kxadmin_response;

struct kxadmin_context_deleter {
  void operator()(kxadmin_context* c) const;
};
struct kxadmin_response_deleter {
  void operator()(kxadmin_response* r) const;
};
using kxadmin_context_t = std::unique_ptr<kxadmin_context, kxadmin_context_deleter>;
using kxadmin_response_t = std::unique_ptr<kxadmin_response, kxadmin_response_deleter>;

// A string argument that may be absent ("none").
using kx_str = std::optional<std::string_view>;

inline constexpr std::uint32_t KXADMIN_CODE_BAD_PASSWORD = 0x132120C8;

// Contexts and responses.  Every operation below but the readers and
// kxadmin_free returns 1 for success and leaves a response on failure.
int kxadmin_context_createdefault(kx_str user, kx_str password, kxadmin_context_t& ctx, kxadmin_response_t& rsp);
unsigned kxadmin_response_getcount(const kxadmin_response* rsp);
std::uint32_t kxadmin_response_getcode(const kxadmin_response* rsp, unsigned index);
std::uint32_t kxadmin_response_getmodifier(const kxadmin_response* rsp, unsigned index);
std::string kxadmin_response_getmessage(const kxadmin_response* rsp, unsigned index);
int kxadmin_response_getreason(const kxadmin_response* rsp);
void kxadmin_free(kxadmin_response_t& rsp);

// Lists.
int kxadmin_objectspace_list(const kxadmin_context* ctx, unsigned long& count, std::vector<std::string>& names,
                             kxadmin_response_t& rsp);
int kxadmin_acl_list(const kxadmin_context* ctx, unsigned long& count, std::vector<std::string>& names,
                     kxadmin_response_t& rsp);
int kxadmin_user_list(const kxadmin_context* ctx, kx_str pattern, int max_return, unsigned long& count,
                      std::vector<std::string>& names, kxadmin_response_t& rsp);

// Protected objects and object spaces.
int kxadmin_protobj_create(const kxadmin_context* ctx, kx_str name, int type, kx_str description,
                           kxadmin_response_t& rsp);
int kxadmin_protobj_delete(const kxadmin_context* ctx, kx_str name, kxadmin_response_t& rsp);
int kxadmin_protobj_attachacl(const kxadmin_context* ctx, kx_str object, kx_str acl, kxadmin_response_t& rsp);
int kxadmin_protobj_detachacl(const kxadmin_context* ctx, kx_str object, kxadmin_response_t& rsp);
int kxadmin_objectspace_create(const kxadmin_context* ctx, kx_str name, int type, kx_str description,
                               kxadmin_response_t& rsp);
int kxadmin_objectspace_delete(const kxadmin_context* ctx, kx_str name, kxadmin_response_t& rsp);

// ACLs.
int kxadmin_acl_create(const kxadmin_context* ctx, kx_str acl, kxadmin_response_t& rsp);
int kxadmin_acl_delete(const kxadmin_context* ctx, kx_str acl, kxadmin_response_t& rsp);
int kxadmin_acl_setuser(const kxadmin_context* ctx, kx_str acl, kx_str user, kx_str perms, kxadmin_response_t& rsp);
int kxadmin_acl_setgroup(const kxadmin_context* ctx, kx_str acl, kx_str group, kx_str perms,
                         kxadmin_response_t& rsp);
int kxadmin_acl_removeuser(const kxadmin_context* ctx, kx_str acl, kx_str user, kxadmin_response_t& rsp);
int kxadmin_acl_removegroup(const kxadmin_context* ctx, kx_str acl, kx_str group, kxadmin_response_t& rsp);
int kxadmin_acl_setanyother(const kxadmin_context* ctx, kx_str acl, kx_str perms, kxadmin_response_t& rsp);
int kxadmin_acl_setunauth(const kxadmin_context* ctx, kx_str acl, kx_str perms, kxadmin_response_t& rsp);
int kxadmin_acl_removeanyother(const kxadmin_context* ctx, kx_str acl, kxadmin_response_t& rsp);
int kxadmin_acl_removeunauth(const kxadmin_context* ctx, kx_str acl, kxadmin_response_t& rsp);
int kxadmin_acl_attrput(const kxadmin_context* ctx, kx_str acl, kx_str attribute, kx_str value,
                        kxadmin_response_t& rsp);

// Actions and action groups.
int kxadmin_action_create(const kxadmin_context* ctx, kx_str name, kx_str label, kx_str type,
                          kxadmin_response_t& rsp);
int kxadmin_action_create_in_group(const kxadmin_context* ctx, kx_str name, kx_str label, kx_str type,
                                   kx_str group, kxadmin_response_t& rsp);
int kxadmin_action_delete(const kxadmin_context* ctx, kx_str name, kxadmin_response_t& rsp);
int kxadmin_action_delete_from_group(const kxadmin_context* ctx, kx_str name, kx_str group,
                                     kxadmin_response_t& rsp);
int kxadmin_action_group_create(const kxadmin_context* ctx, kx_str group, kxadmin_response_t& rsp);
int kxadmin_action_group_delete(const kxadmin_context* ctx, kx_str group, kxadmin_response_t& rsp);

// Groups and users.
int kxadmin_group_create2(const kxadmin_context* ctx, kx_str name, kx_str dn, kx_str cn, kx_str container,
                          kxadmin_response_t& rsp);
int kxadmin_group_delete2(const kxadmin_context* ctx, kx_str name, int delete_registry_entry, kxadmin_response_t& rsp);
int kxadmin_group_addmembers(const kxadmin_context* ctx, kx_str group, int member_count,
                             std::span<const std::string> members, kxadmin_response_t& rsp);
int kxadmin_group_removemembers(const kxadmin_context* ctx, kx_str group, int member_count,
                                std::span<const std::string> members, kxadmin_response_t& rsp);
int kxadmin_user_create3(const kxadmin_context* ctx, kx_str name, kx_str dn, kx_str cn, kx_str sn, kx_str password,
                         int group_count, std::span<const std::string> groups, int sso_user, int no_password_policy,
                         kxadmin_response_t& rsp);
int kxadmin_user_delete2(const kxadmin_context* ctx, kx_str name, int delete_registry_entry, kxadmin_response_t& rsp);
int kxadmin_user_setaccountvalid(const kxadmin_context* ctx, kx_str name, int valid, kxadmin_response_t& rsp);

// ---------------------------------------------------------------------------
// Extensions of this product's policy store.  The platform library has none
// of these; docs/policy-server.md describes them.  Like the calls above they
// return 1 for success and leave a response on failure, and those that reach
// the store meet injected faults named after them.

// One run of a program on one host.  The program chooses the values so
// that no two of its runs share a tag (a process id and that process's
// start time).
struct kxadmin_run_tag {
  std::string host;
  std::int64_t process_id = 0;
  std::int64_t start_time = 0;
  friend bool operator==(const kxadmin_run_tag&, const kxadmin_run_tag&) = default;
};

struct kxadmin_run_info {
  kxadmin_run_tag tag;
  unsigned long undo_records = 0;
};

// While a context carries a run tag, every call through it that changes
// policy writes, in the same store transaction as the change, the undo
// record that takes the change back exactly (previous entries, values and
// account states included).  None clears the tag.  No store access; an
// empty host name is a bad argument.
int kxadmin_context_setruntag(kxadmin_context* ctx, const std::optional<kxadmin_run_tag>& tag,
                              kxadmin_response_t& rsp);

// The runs that have undo records (unfinished runs): those of `host`, or of
// every host for none; sorted by host, process id and start time.
int kxadmin_run_list(const kxadmin_context* ctx, kx_str host, std::vector<kxadmin_run_info>& runs,
                     kxadmin_response_t& rsp);

// Rolls back the run: applies its undo records newest first, each in its
// own transaction that also removes the record, so that a roll-back cut
// short (killed, failed, or stopped by a fault) is finished by calling
// again.  A run without records succeeds at once.  Rolling back never
// writes undo records.
int kxadmin_run_rollback(const kxadmin_context* ctx, const kxadmin_run_tag& tag, kxadmin_response_t& rsp);

// Removes the run's undo records in one transaction (a run that ended
// normally).  A run without records succeeds.
int kxadmin_run_discard(const kxadmin_context* ctx, const kxadmin_run_tag& tag, kxadmin_response_t& rsp);

// Leases on shared policy.  A run that creates policy other runs build on
// (a product's or a branch's) holds a lease named after it while it
// creates it and until it ends, so that no other run builds on policy that
// may still be taken back.  The owner is the run tag of the context; times
// are the store's clock (the database server's, or for a store file the
// clock of the machine that holds it), in milliseconds.  A lease whose
// owner has not renewed it for `expiry_ms` has expired: its owner is
// presumed dead.
inline constexpr std::uint32_t KXADMIN_CODE_LEASE_HELD = 0x1354800A;
inline constexpr std::uint32_t KXADMIN_CODE_LEASE_LOST = 0x1354800B;
struct kxadmin_lease {
  std::string name;
  kxadmin_run_tag owner;
  std::int64_t expires_ms = 0;  // store clock
  bool expired = false;
  friend bool operator==(const kxadmin_lease&, const kxadmin_lease&) = default;
};

// Takes the lease `name` for the context's run (which must carry a run
// tag), or renews it when the run holds it already.  1 when the run holds
// it now; `other` is then the expired lease it took over from another run,
// whose undo records the caller rolls back before building on that policy
// (none otherwise).  When another run holds it and it has not expired the
// call fails with KXADMIN_CODE_LEASE_HELD and `other` is that run's lease.
int kxadmin_lease_take(const kxadmin_context* ctx, kx_str name, std::int64_t expiry_ms,
                       std::optional<kxadmin_lease>& other, kxadmin_response_t& rsp);
// Pushes the expiry of the run's lease to `expiry_ms` from now.  Fails with
// KXADMIN_CODE_LEASE_LOST when the run does not hold it (any more).  A lease that
// expired but that no other run took over is still the run's own.
int kxadmin_lease_renew(const kxadmin_context* ctx, kx_str name, std::int64_t expiry_ms, kxadmin_response_t& rsp);
// Gives the run's lease up; KXADMIN_CODE_LEASE_LOST when the run does not
// hold it.
int kxadmin_lease_release(const kxadmin_context* ctx, kx_str name, kxadmin_response_t& rsp);
// Removes the lease `name` when `owner` still holds it, expired or not: for
// a caller that knows that run has ended (a later run of the same host).
// Succeeds when another run holds the lease, or none.
int kxadmin_lease_break(const kxadmin_context* ctx, kx_str name, const kxadmin_run_tag& owner,
                        kxadmin_response_t& rsp);
// Every lease, sorted by name, `expired` as of the store's clock now.
int kxadmin_lease_list(const kxadmin_context* ctx, std::vector<kxadmin_lease>& leases, kxadmin_response_t& rsp);

// Reads of the present state.
struct kxadmin_acl_perm {
  std::string name;
  std::string perms;
  friend bool operator==(const kxadmin_acl_perm&, const kxadmin_acl_perm&) = default;
};
struct kxadmin_acl_attr {
  std::string name;
  std::optional<std::string> value;
  friend bool operator==(const kxadmin_acl_attr&, const kxadmin_acl_attr&) = default;
};
struct kxadmin_acl_entries {
  std::vector<kxadmin_acl_perm> users;   // sorted by name
  std::vector<kxadmin_acl_perm> groups;  // sorted by name
  std::optional<std::string> any_other;  // none when the ACL has no such entry
  std::optional<std::string> unauthenticated;
  std::vector<kxadmin_acl_attr> attributes;  // sorted by name
  friend bool operator==(const kxadmin_acl_entries&, const kxadmin_acl_entries&) = default;
};
int kxadmin_acl_getentries(const kxadmin_context* ctx, kx_str acl, kxadmin_acl_entries& entries,
                           kxadmin_response_t& rsp);
// `present` is 1 when the ACL has the attribute (whose value may be none).
int kxadmin_acl_attrget(const kxadmin_context* ctx, kx_str acl, kx_str attribute, int& present,
                        std::optional<std::string>& value, kxadmin_response_t& rsp);
int kxadmin_user_getaccountvalid(const kxadmin_context* ctx, kx_str name, int& valid, kxadmin_response_t& rsp);

// Removes an attribute from an ACL.
int kxadmin_acl_attrdelete(const kxadmin_context* ctx, kx_str acl, kx_str attribute, kxadmin_response_t& rsp);

// A context that only looks: the store is opened read-only, no call takes
// its write lock or uses up an injected fault, and every change fails.
int kxadmin_context_createreadonly(kx_str user, kx_str password, kxadmin_context_t& ctx, kxadmin_response_t& rsp);
