// One wrapper per policy command: the command's fields become the arguments
// of the policy administration calls.  Their inverses are the policy
// server's: it records every call's previous rows under this run's tag.
#include "zarncfg_kxcommon.h"

#include <algorithm>
#include <array>
#include <optional>

#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

namespace {

using Fields = std::span<const std::string>;

// The fields of one command with their blanks restored; an empty or
// missing field is absent and reaches the library as none.
class CommandArgs {
 public:
  explicit CommandArgs(Fields fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) values_.push_back(zarncfg_get_field(fields, i));
  }
  kx_str str(std::size_t i) const {
    if (i >= values_.size() || !values_[i]) return std::nullopt;
    return kx_str(*values_[i]);
  }
  bool present(std::size_t i) const { return str(i).has_value(); }
  // Whole, case-sensitive comparison; an absent field matches no word.
  bool is(std::size_t i, std::string_view word) const { return str(i) == word; }
  std::string text(std::size_t i) const { return std::string(str(i).value_or("")); }
  int decimal(std::size_t i) const { return zarncfg_kxadmin_decimal(text(i)); }
  int flag(std::size_t i) const {
    std::string value = text(i);
    return zarncfg_get_bool(value) == "on" ? 1 : 0;
  }

 private:
  std::vector<std::optional<std::string>> values_;
};

template <class Call>
int traced(std::string_view api, Call&& call) {
  trace(msg_id(306), api);
  const int result = call();
  trace(msg_id(307), api, static_cast<long>(result));
  return result;
}

}  // namespace

int zarncfg_kx_protobj_create(const kxadmin_context* context, Fields fields, kxadmin_response_t& response) {
  const CommandArgs a(fields);
  return traced("protobj_create",
                [&] { return kxadmin_protobj_create(context, a.str(2), a.decimal(4), a.str(3), response); });
}

int zarncfg_kx_protobj_attachacl(const kxadmin_context* context, Fields fields, kxadmin_response_t& response) {
  const CommandArgs a(fields);
  return traced("protobj_attachacl", [&] { return kxadmin_protobj_attachacl(context, a.str(2), a.str(3), response); });
}

int zarncfg_kx_acl_create(const kxadmin_context* context, Fields fields, kxadmin_response_t& response) {
  const CommandArgs a(fields);
  return traced("acl_create", [&] { return kxadmin_acl_create(context, a.str(2), response); });
}

namespace {

// "acl modify ACL set KIND ...": field 5 names the user or group, or holds
// the permissions of the special entries; missing permissions remove.
int apply_acl_modify(const kxadmin_context* context, const CommandArgs& a, kxadmin_response_t& response) {
  const kx_str acl = a.str(2);
  if (a.is(4, "user")) {
    if (!a.present(6)) return traced("acl_removeuser", [&] { return kxadmin_acl_removeuser(context, acl, a.str(5), response); });
    return traced("acl_setuser", [&] { return kxadmin_acl_setuser(context, acl, a.str(5), a.str(6), response); });
  }
  if (a.is(4, "group")) {
    if (!a.present(6)) {
      return traced("acl_removegroup", [&] { return kxadmin_acl_removegroup(context, acl, a.str(5), response); });
    }
    return traced("acl_setgroup", [&] { return kxadmin_acl_setgroup(context, acl, a.str(5), a.str(6), response); });
  }
  if (a.is(4, "any-other")) {
    if (!a.present(5)) return traced("acl_removeanyother", [&] { return kxadmin_acl_removeanyother(context, acl, response); });
    return traced("acl_setanyother", [&] { return kxadmin_acl_setanyother(context, acl, a.str(5), response); });
  }
  if (a.is(4, "unauthenticated")) {
    if (!a.present(5)) return traced("acl_removeunauth", [&] { return kxadmin_acl_removeunauth(context, acl, response); });
    return traced("acl_setunauth", [&] { return kxadmin_acl_setunauth(context, acl, a.str(5), response); });
  }
  return traced("acl_attrput", [&] { return kxadmin_acl_attrput(context, acl, a.str(5), a.str(6), response); });
}

constexpr std::array<std::string_view, 5> kAclKinds = {"user", "group", "any-other", "unauthenticated", "attribute"};

}  // namespace

int zarncfg_kx_acl_modify(const kxadmin_context* context, Fields fields, kxadmin_response_t& response) {
  const CommandArgs a(fields);
  const bool known_kind =
      std::any_of(kAclKinds.begin(), kAclKinds.end(), [&](std::string_view kind) { return a.is(4, kind); });
  if (!a.is(3, "set") || !known_kind) {
    print_and_log_error(msg_id(1358));
    return 0;
  }
  return apply_acl_modify(context, a, response);
}

int zarncfg_kx_action_create(const kxadmin_context* context, Fields fields, kxadmin_response_t& response) {
  const CommandArgs a(fields);
  if (a.present(5)) {
    return traced("action_create_in_group", [&] {
      return kxadmin_action_create_in_group(context, a.str(2), a.str(3), a.str(4), a.str(5), response);
    });
  }
  return traced("action_create", [&] { return kxadmin_action_create(context, a.str(2), a.str(3), a.str(4), response); });
}

int zarncfg_kx_group_create(const kxadmin_context* context, Fields fields, kxadmin_response_t& response) {
  const CommandArgs a(fields);
  return traced("group_create2",
                [&] { return kxadmin_group_create2(context, a.str(2), a.str(3), a.str(4), std::nullopt, response); });
}

int zarncfg_kx_group_modify(const kxadmin_context* context, Fields fields, kxadmin_response_t& response) {
  const CommandArgs a(fields);
  if (!a.is(3, "add") || !a.present(4)) {
    log_error(msg_id(1359));
    return 0;
  }
  const std::array<std::string, 1> member = {a.text(4)};
  return traced("group_addmembers", [&] { return kxadmin_group_addmembers(context, a.str(2), 1, member, response); });
}

int zarncfg_kx_objectspace_create(const kxadmin_context* context, Fields fields, kxadmin_response_t& response) {
  const CommandArgs a(fields);
  return traced("objectspace_create",
                [&] { return kxadmin_objectspace_create(context, a.str(2), a.decimal(4), a.str(3), response); });
}

int zarncfg_kx_user_create(const kxadmin_context* context, Fields fields, kxadmin_response_t& response) {
  const CommandArgs a(fields);
  return traced("user_create3", [&] {
    return kxadmin_user_create3(context, a.str(2), a.str(3), a.str(4), a.str(5), a.str(6), 0, {}, a.flag(7), 1,
                                response);
  });
}

int zarncfg_kx_user_modify(const kxadmin_context* context, Fields fields, kxadmin_response_t& response) {
  const CommandArgs a(fields);
  if (!a.is(3, "account-valid")) {
    log_error(msg_id(1360));
    return 0;
  }
  return traced("user_setaccountvalid",
                [&] { return kxadmin_user_setaccountvalid(context, a.str(2), a.flag(4), response); });
}

int zarncfg_kx_action_group(const kxadmin_context* context, Fields fields, kxadmin_response_t& response) {
  const CommandArgs a(fields);
  if (!a.is(2, "create")) {
    log_error(msg_id(1357));
    return 0;
  }
  return traced("action_group_create", [&] { return kxadmin_action_group_create(context, a.str(3), response); });
}
