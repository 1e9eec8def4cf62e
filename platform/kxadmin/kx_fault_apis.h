// The kxadmin_ functions a fault can be injected into: every call that
// reaches the store, this store's extensions included.
#pragma once

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kx {

inline constexpr std::string_view API_PREFIX = "kxadmin_";

inline constexpr std::array<std::string_view, 46> FAULT_APIS{
    "kxadmin_acl_attrdelete",          "kxadmin_acl_attrget",
    "kxadmin_acl_attrput",             "kxadmin_acl_create",
    "kxadmin_acl_delete",              "kxadmin_acl_getentries",
    "kxadmin_acl_list",                "kxadmin_acl_removeanyother",
    "kxadmin_acl_removegroup",         "kxadmin_acl_removeunauth",
    "kxadmin_acl_removeuser",          "kxadmin_acl_setanyother",
    "kxadmin_acl_setgroup",            "kxadmin_acl_setunauth",
    "kxadmin_acl_setuser",             "kxadmin_action_create",
    "kxadmin_action_create_in_group",  "kxadmin_action_delete",
    "kxadmin_action_delete_from_group", "kxadmin_action_group_create",
    "kxadmin_action_group_delete",     "kxadmin_context_createdefault",
    "kxadmin_group_addmembers",        "kxadmin_group_create2",
    "kxadmin_group_delete2",           "kxadmin_group_removemembers",
    "kxadmin_lease_break",             "kxadmin_lease_list",
    "kxadmin_lease_release",           "kxadmin_lease_renew",
    "kxadmin_lease_take",
    "kxadmin_objectspace_create",      "kxadmin_objectspace_delete",
    "kxadmin_objectspace_list",        "kxadmin_protobj_attachacl",
    "kxadmin_protobj_create",          "kxadmin_protobj_delete",
    "kxadmin_protobj_detachacl",       "kxadmin_run_discard",
    "kxadmin_run_list",                "kxadmin_run_rollback",
    "kxadmin_user_create3",            "kxadmin_user_delete2",
    "kxadmin_user_getaccountvalid",    "kxadmin_user_list",
    "kxadmin_user_setaccountvalid",
};

static_assert(std::is_sorted(FAULT_APIS.begin(), FAULT_APIS.end()), "FAULT_APIS is searched by bisection");

// The full function name for an API given with or without its prefix;
// none for a name that is not one of FAULT_APIS.
inline std::optional<std::string> fault_api_name(std::string_view api) {
  std::string full(api);
  if (!api.starts_with(API_PREFIX)) full.insert(0, API_PREFIX);
  if (!std::binary_search(FAULT_APIS.begin(), FAULT_APIS.end(), full)) return std::nullopt;
  return full;
}

}  // namespace kx
