// Leases on shared policy: extensions of this product's policy store.
#include "kxadmin_call.h"

using namespace kx;

namespace {

// A lease belongs to a run: the context must carry its tag.
Outcome tagged(const kxadmin_context* ctx) {
  if (ctx != nullptr && !ctx->store->run_tag()) {
    return failure(CODE_BAD_ARGUMENT, "the context carries no run tag to own the lease");
  }
  return success();
}

Outcome tagged_with_expiry(const kxadmin_context* ctx, std::int64_t expiry_ms) {
  if (expiry_ms <= 0) return failure(CODE_BAD_ARGUMENT, "the expiry of the lease is not positive");
  return tagged(ctx);
}

}  // namespace

int kxadmin_lease_take(const kxadmin_context* ctx, kx_str name, std::int64_t expiry_ms,
                       std::optional<kxadmin_lease>& other, kxadmin_response_t& rsp) {
  other.reset();
  std::optional<kxadmin_lease> found;
  const int result = api_call(
      ctx, "kxadmin_lease_take", name, {name_arg(name, "lease name")}, rsp,
      [&](Store& s) {
        bool taken = false;
        return s.lease_take(*name, *s.run_tag(), expiry_ms, taken, found);
      },
      tagged_with_expiry(ctx, expiry_ms));
  if (result == 1 || kxadmin_response_getcode(rsp.get(), 0) == CODE_LEASE_HELD ||
      kxadmin_response_getreason(rsp.get()) == 1) {
    other = std::move(found);
  }
  return result;
}

int kxadmin_lease_renew(const kxadmin_context* ctx, kx_str name, std::int64_t expiry_ms, kxadmin_response_t& rsp) {
  return api_call(
      ctx, "kxadmin_lease_renew", name, {name_arg(name, "lease name")}, rsp,
      [&](Store& s) { return s.lease_renew(*name, *s.run_tag(), expiry_ms); }, tagged_with_expiry(ctx, expiry_ms));
}

int kxadmin_lease_release(const kxadmin_context* ctx, kx_str name, kxadmin_response_t& rsp) {
  return api_call(
      ctx, "kxadmin_lease_release", name, {name_arg(name, "lease name")}, rsp,
      [&](Store& s) { return s.lease_release(*name, *s.run_tag()); }, tagged(ctx));
}

int kxadmin_lease_break(const kxadmin_context* ctx, kx_str name, const kxadmin_run_tag& owner,
                        kxadmin_response_t& rsp) {
  const Outcome owner_ok =
      owner.host.empty() ? failure(CODE_BAD_ARGUMENT, "the host name of the owner is empty") : success();
  return api_call(
      ctx, "kxadmin_lease_break", name, {name_arg(name, "lease name")}, rsp,
      [&](Store& s) { return s.lease_break(*name, owner); }, owner_ok);
}

int kxadmin_lease_list(const kxadmin_context* ctx, std::vector<kxadmin_lease>& leases, kxadmin_response_t& rsp) {
  return read_call<std::vector<kxadmin_lease>>(ctx, "kxadmin_lease_list", {}, {}, leases, rsp,
                                               [](Store& s, std::vector<kxadmin_lease>& out) {
                                                 return s.lease_list(out);
                                               });
}
