// Logging in to the policy store.

#include "kx_store_location.h"
#include "kxadmin_call.h"
#include "kxadmin_internal.h"

namespace {

constexpr std::string_view SEC_MASTER = "sec_master";

std::optional<std::string>& explicit_store_path() {
  static std::optional<std::string> path;
  return path;
}

}  // namespace

void kxadmin_context_deleter::operator()(kxadmin_context* c) const { delete c; }

void kxadmin_set_store_path(std::optional<std::string> path) { explicit_store_path() = std::move(path); }

std::string kxadmin_store_path() {
  if (explicit_store_path()) return *explicit_store_path();
  return kx::configured_store_path();
}

// An unknown user gets the same code as a wrong password, so the response
// does not tell which user names exist.  The context is set only on
// success, or on an injected failure of reason 1 (the login did happen).
namespace {

int create_context(kx_str user, kx_str password, bool read_only, kxadmin_context_t& ctx, kxadmin_response_t& rsp) {
  using namespace kx;
  if (Outcome r = check_args({name_arg(user, "user name"), text_arg(password, "password")}); !r.ok()) {
    return respond(r, rsp);
  }
  Outcome error;
  std::unique_ptr<Store> store = Store::open(kxadmin_store_path(), error, read_only);
  if (!store) return respond(error, rsp);
  const Outcome login = store->call("kxadmin_context_createdefault", user, [&] {
    if (*user == SEC_MASTER && store->sec_master_password_matches(*password)) return success();
    return failure(CODE_BAD_PASSWORD, "the user name or the password is not valid");
  });
  if (login.ok() || login.reason == 1) ctx.reset(new kxadmin_context{std::move(store)});
  return respond(login, rsp);
}

}  // namespace

int kxadmin_context_createdefault(kx_str user, kx_str password, kxadmin_context_t& ctx, kxadmin_response_t& rsp) {
  return create_context(user, password, false, ctx, rsp);
}

int kxadmin_context_createreadonly(kx_str user, kx_str password, kxadmin_context_t& ctx, kxadmin_response_t& rsp) {
  return create_context(user, password, true, ctx, rsp);
}
