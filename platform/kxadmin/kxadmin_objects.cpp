// The kxadmin_ calls for lists, object spaces, protected objects and ACLs.
#include "kxadmin_call.h"

using namespace kx;

int kxadmin_objectspace_list(const kxadmin_context* ctx, unsigned long& count, std::vector<std::string>& names,
                             kxadmin_response_t& rsp) {
  return list_call(ctx, "kxadmin_objectspace_list", std::nullopt, {}, count, names, rsp,
                   [](Store& s, std::vector<std::string>& out) { return s.objectspace_names(out); });
}

int kxadmin_acl_list(const kxadmin_context* ctx, unsigned long& count, std::vector<std::string>& names,
                     kxadmin_response_t& rsp) {
  return list_call(ctx, "kxadmin_acl_list", std::nullopt, {}, count, names, rsp,
                   [](Store& s, std::vector<std::string>& out) { return s.acl_names(out); });
}

int kxadmin_user_list(const kxadmin_context* ctx, kx_str pattern, int max_return, unsigned long& count,
                      std::vector<std::string>& names, kxadmin_response_t& rsp) {
  const Outcome limit_ok = max_return >= 0 ? success()
                                          : failure(CODE_BAD_ARGUMENT, "the number of names to return is negative");
  return list_call(
      ctx, "kxadmin_user_list", pattern, {name_arg(pattern, "user name pattern")}, count, names, rsp,
      [&](Store& s, std::vector<std::string>& out) {
        return s.user_names(*pattern, static_cast<std::size_t>(max_return), out);
      },
      limit_ok);
}

int kxadmin_protobj_create(const kxadmin_context* ctx, kx_str name, int type, kx_str description,
                           kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_protobj_create", name, {name_arg(name, "protected object name")}, rsp,
                  [&](Store& s) { return s.protobj_create(*name, type, description); });
}

int kxadmin_protobj_delete(const kxadmin_context* ctx, kx_str name, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_protobj_delete", name, {name_arg(name, "protected object name")}, rsp,
                  [&](Store& s) { return s.protobj_delete(*name); });
}

int kxadmin_protobj_attachacl(const kxadmin_context* ctx, kx_str object, kx_str acl, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_protobj_attachacl", object,
                  {name_arg(object, "protected object name"), name_arg(acl, "ACL name")}, rsp,
                  [&](Store& s) { return s.protobj_attach_acl(*object, *acl); });
}

int kxadmin_protobj_detachacl(const kxadmin_context* ctx, kx_str object, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_protobj_detachacl", object, {name_arg(object, "protected object name")}, rsp,
                  [&](Store& s) { return s.protobj_detach_acl(*object); });
}

int kxadmin_objectspace_create(const kxadmin_context* ctx, kx_str name, int type, kx_str description,
                               kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_objectspace_create", name, {name_arg(name, "object space name")}, rsp,
                  [&](Store& s) { return s.objectspace_create(*name, type, description); });
}

int kxadmin_objectspace_delete(const kxadmin_context* ctx, kx_str name, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_objectspace_delete", name, {name_arg(name, "object space name")}, rsp,
                  [&](Store& s) { return s.objectspace_delete(*name); });
}

int kxadmin_acl_create(const kxadmin_context* ctx, kx_str acl, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_acl_create", acl, {name_arg(acl, "ACL name")}, rsp,
                  [&](Store& s) { return s.acl_create(*acl); });
}

int kxadmin_acl_delete(const kxadmin_context* ctx, kx_str acl, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_acl_delete", acl, {name_arg(acl, "ACL name")}, rsp,
                  [&](Store& s) { return s.acl_delete(*acl); });
}

int kxadmin_acl_setuser(const kxadmin_context* ctx, kx_str acl, kx_str user, kx_str perms, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_acl_setuser", acl,
                  {name_arg(acl, "ACL name"), name_arg(user, "user name"), text_arg(perms, "permissions")}, rsp,
                  [&](Store& s) { return s.acl_set_user(*acl, *user, *perms); });
}

int kxadmin_acl_setgroup(const kxadmin_context* ctx, kx_str acl, kx_str group, kx_str perms,
                         kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_acl_setgroup", acl,
                  {name_arg(acl, "ACL name"), name_arg(group, "group name"), text_arg(perms, "permissions")}, rsp,
                  [&](Store& s) { return s.acl_set_group(*acl, *group, *perms); });
}

int kxadmin_acl_removeuser(const kxadmin_context* ctx, kx_str acl, kx_str user, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_acl_removeuser", acl, {name_arg(acl, "ACL name"), name_arg(user, "user name")}, rsp,
                  [&](Store& s) { return s.acl_remove_user(*acl, *user); });
}

int kxadmin_acl_removegroup(const kxadmin_context* ctx, kx_str acl, kx_str group, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_acl_removegroup", acl, {name_arg(acl, "ACL name"), name_arg(group, "group name")},
                  rsp, [&](Store& s) { return s.acl_remove_group(*acl, *group); });
}

int kxadmin_acl_setanyother(const kxadmin_context* ctx, kx_str acl, kx_str perms, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_acl_setanyother", acl, {name_arg(acl, "ACL name"), text_arg(perms, "permissions")},
                  rsp, [&](Store& s) { return s.acl_set_special(*acl, AclSpecial::any_other, *perms); });
}

int kxadmin_acl_setunauth(const kxadmin_context* ctx, kx_str acl, kx_str perms, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_acl_setunauth", acl, {name_arg(acl, "ACL name"), text_arg(perms, "permissions")}, rsp,
                  [&](Store& s) { return s.acl_set_special(*acl, AclSpecial::unauthenticated, *perms); });
}

int kxadmin_acl_removeanyother(const kxadmin_context* ctx, kx_str acl, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_acl_removeanyother", acl, {name_arg(acl, "ACL name")}, rsp,
                  [&](Store& s) { return s.acl_remove_special(*acl, AclSpecial::any_other); });
}

int kxadmin_acl_removeunauth(const kxadmin_context* ctx, kx_str acl, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_acl_removeunauth", acl, {name_arg(acl, "ACL name")}, rsp,
                  [&](Store& s) { return s.acl_remove_special(*acl, AclSpecial::unauthenticated); });
}

int kxadmin_acl_attrput(const kxadmin_context* ctx, kx_str acl, kx_str attribute, kx_str value,
                        kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_acl_attrput", acl, {name_arg(acl, "ACL name"), name_arg(attribute, "attribute name")},
                  rsp, [&](Store& s) { return s.acl_put_attribute(*acl, *attribute, value); });
}
