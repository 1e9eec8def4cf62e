// Reads of the present state and the attribute delete: extensions of this
// product's policy store.
#include "kxadmin_call.h"

using namespace kx;

namespace {

struct AttributeValue {
  bool present = false;
  std::optional<std::string> value;
};

}  // namespace

int kxadmin_acl_getentries(const kxadmin_context* ctx, kx_str acl, kxadmin_acl_entries& entries,
                           kxadmin_response_t& rsp) {
  return read_call<kxadmin_acl_entries>(ctx, "kxadmin_acl_getentries", acl, {name_arg(acl, "ACL name")}, entries, rsp,
                                        [&](Store& s, kxadmin_acl_entries& out) { return s.acl_read(*acl, out); });
}

int kxadmin_acl_attrget(const kxadmin_context* ctx, kx_str acl, kx_str attribute, int& present,
                        std::optional<std::string>& value, kxadmin_response_t& rsp) {
  AttributeValue found;
  const int result = read_call<AttributeValue>(
      ctx, "kxadmin_acl_attrget", acl, {name_arg(acl, "ACL name"), name_arg(attribute, "attribute name")}, found, rsp,
      [&](Store& s, AttributeValue& out) { return s.acl_get_attribute(*acl, *attribute, out.present, out.value); });
  present = found.present ? 1 : 0;
  value = std::move(found.value);
  return result;
}

int kxadmin_user_getaccountvalid(const kxadmin_context* ctx, kx_str name, int& valid, kxadmin_response_t& rsp) {
  bool found = false;
  const int result = read_call<bool>(ctx, "kxadmin_user_getaccountvalid", name, {name_arg(name, "user name")}, found,
                                     rsp, [&](Store& s, bool& out) { return s.user_account_valid(*name, out); });
  valid = found ? 1 : 0;
  return result;
}

int kxadmin_acl_attrdelete(const kxadmin_context* ctx, kx_str acl, kx_str attribute, kxadmin_response_t& rsp) {
  return api_call(ctx, "kxadmin_acl_attrdelete", acl, {name_arg(acl, "ACL name"), name_arg(attribute, "attribute name")},
                  rsp, [&](Store& s) { return s.acl_delete_attribute(*acl, *attribute); });
}
