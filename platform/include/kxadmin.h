// Policy administration library: the calls into the Varden Policy Server
// that the program uses.  platform/kxadmin is our implementation, backed by
// an SQLite store (docs/policy-server.md).
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
