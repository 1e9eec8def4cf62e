// Run tags and undo records: extensions of this product's policy store.
#include "kxadmin_call.h"

using namespace kx;

namespace {

Outcome check_tag(const kxadmin_run_tag& tag) {
  if (tag.host.empty()) return failure(CODE_BAD_ARGUMENT, "the host name of the run tag is empty");
  return success();
}

}  // namespace

int kxadmin_context_setruntag(kxadmin_context* ctx, const std::optional<kxadmin_run_tag>& tag,
                              kxadmin_response_t& rsp) {
  if (Outcome r = check_call(ctx, {}, tag ? check_tag(*tag) : success()); !r.ok()) return respond(r, rsp);
  ctx->store->set_run_tag(tag);
  return respond(success(), rsp);
}

int kxadmin_run_list(const kxadmin_context* ctx, kx_str host, std::vector<kxadmin_run_info>& runs,
                     kxadmin_response_t& rsp) {
  const Outcome host_ok = host && host->empty() ? failure(CODE_BAD_ARGUMENT, "the host name is empty") : success();
  return read_call<std::vector<kxadmin_run_info>>(
      ctx, "kxadmin_run_list", host, {}, runs, rsp,
      [&](Store& s, std::vector<kxadmin_run_info>& out) { return s.run_list(host, out); }, host_ok);
}

// Each record is its own transaction, so this is not one api_call.
int kxadmin_run_rollback(const kxadmin_context* ctx, const kxadmin_run_tag& tag, kxadmin_response_t& rsp) {
  if (Outcome r = check_call(ctx, {}, check_tag(tag)); !r.ok()) return respond(r, rsp);
  return respond(ctx->store->rollback_run(tag, "kxadmin_run_rollback"), rsp);
}

int kxadmin_run_discard(const kxadmin_context* ctx, const kxadmin_run_tag& tag, kxadmin_response_t& rsp) {
  return api_call(
      ctx, "kxadmin_run_discard", tag.host, {}, rsp, [&](Store& s) { return s.discard_run(tag); }, check_tag(tag));
}
