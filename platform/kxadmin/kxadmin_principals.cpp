// The kxadmin_ calls for actions, action groups, groups and users.
#include "kxadmin_call.h"

using namespace kx;

int kxadmin_action_create(const kxadmin_context* ctx, kx_str name, kx_str label, kx_str type,
                          kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_action_create", name,
                  {name_arg(name, "action name"), text_arg(label, "action label"), text_arg(type, "action type")}, rsp,
                  [&](Store& s) { return s.action_create(*name, *label, *type, std::nullopt); });
}

int kxadmin_action_create_in_group(const kxadmin_context* ctx, kx_str name, kx_str label, kx_str type,
                                   kx_str group, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_action_create_in_group", name,
                  {name_arg(name, "action name"), text_arg(label, "action label"), text_arg(type, "action type"),
                   name_arg(group, "action group name")},
                  rsp, [&](Store& s) { return s.action_create(*name, *label, *type, group); });
}

int kxadmin_action_delete(const kxadmin_context* ctx, kx_str name, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_action_delete", name, {name_arg(name, "action name")}, rsp,
                  [&](Store& s) { return s.action_delete(*name, std::nullopt); });
}

int kxadmin_action_delete_from_group(const kxadmin_context* ctx, kx_str name, kx_str group,
                                     kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_action_delete_from_group", name,
                  {name_arg(name, "action name"), name_arg(group, "action group name")}, rsp,
                  [&](Store& s) { return s.action_delete(*name, group); });
}

int kxadmin_action_group_create(const kxadmin_context* ctx, kx_str group, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_action_group_create", group, {name_arg(group, "action group name")}, rsp,
                  [&](Store& s) { return s.action_group_create(*group); });
}

int kxadmin_action_group_delete(const kxadmin_context* ctx, kx_str group, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_action_group_delete", group, {name_arg(group, "action group name")}, rsp,
                  [&](Store& s) { return s.action_group_delete(*group); });
}

// The container argument names a registry location we do not model; it is
// accepted and ignored.
int kxadmin_group_create2(const kxadmin_context* ctx, kx_str name, kx_str dn, kx_str cn, kx_str /*container*/,
                          kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_group_create2", name,
                  {name_arg(name, "group name"), text_arg(dn, "group DN"), text_arg(cn, "group CN")}, rsp,
                  [&](Store& s) { return s.group_create(*name, *dn, *cn); });
}

// The store is the only registry, so deleting the registry entry or not
// makes no difference.
int kxadmin_group_delete2(const kxadmin_context* ctx, kx_str name, int /*delete_registry_entry*/,
                          kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_group_delete2", name, {name_arg(name, "group name")}, rsp,
                  [&](Store& s) { return s.group_delete(*name); });
}

namespace {

Outcome check_members(int count, std::span<const std::string> members) {
  if (Outcome r = check_count(count, members.size(), "member"); !r.ok()) return r;
  for (const std::string& member : members.first(static_cast<std::size_t>(count))) {
    if (member.empty()) return failure(CODE_BAD_ARGUMENT, "a member name is empty");
  }
  return success();
}

// All members or none: the first failure rolls back the whole call.
Outcome for_members(int count, std::span<const std::string> members,
                    const std::function<Outcome(std::string_view)>& change) {
  for (const std::string& member : members.first(static_cast<std::size_t>(count))) {
    if (Outcome r = change(member); !r.ok()) return r;
  }
  return success();
}

}  // namespace

int kxadmin_group_addmembers(const kxadmin_context* ctx, kx_str group, int member_count,
                             std::span<const std::string> members, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_group_addmembers", group, {name_arg(group, "group name")}, rsp, [&](Store& s) {
    return for_members(member_count, members, [&](std::string_view user) { return s.group_add_member(*group, user); });
  }, check_members(member_count, members));
}

int kxadmin_group_removemembers(const kxadmin_context* ctx, kx_str group, int member_count,
                                std::span<const std::string> members, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_group_removemembers", group, {name_arg(group, "group name")}, rsp, [&](Store& s) {
    return for_members(member_count, members,
                       [&](std::string_view user) { return s.group_remove_member(*group, user); });
  }, check_members(member_count, members));
}

// No password policy is modelled, so its switch is accepted and ignored.
int kxadmin_user_create3(const kxadmin_context* ctx, kx_str name, kx_str dn, kx_str cn, kx_str sn, kx_str password,
                         int group_count, std::span<const std::string> groups, int sso_user,
                         int /*no_password_policy*/, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_user_create3", name,
                  {name_arg(name, "user name"), text_arg(dn, "user DN"), text_arg(cn, "user CN"),
                   text_arg(sn, "user SN"), text_arg(password, "password")},
                  rsp,
                  [&](Store& s) {
                    const UserSpec user{*name, *dn, *cn, *sn, *password, sso_user != 0};
                    return s.user_create(user, groups.first(static_cast<std::size_t>(group_count)));
                  },
                  check_count(group_count, groups.size(), "group"));
}

int kxadmin_user_delete2(const kxadmin_context* ctx, kx_str name, int /*delete_registry_entry*/,
                         kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_user_delete2", name, {name_arg(name, "user name")}, rsp,
                  [&](Store& s) { return s.user_delete(*name); });
}

int kxadmin_user_setaccountvalid(const kxadmin_context* ctx, kx_str name, int valid, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_user_setaccountvalid", name, {name_arg(name, "user name")}, rsp,
                  [&](Store& s) { return s.user_set_account_valid(*name, valid != 0); });
}
