#include "kxadmin_call.h"

namespace kx {

Outcome check_args(std::initializer_list<RequiredArg> args) {
  for (const RequiredArg& arg : args) {
    if (!arg.value) return failure(CODE_BAD_ARGUMENT, "the " + std::string(arg.what) + " is missing");
    if (arg.is_name && arg.value->empty()) return failure(CODE_BAD_ARGUMENT, "the " + std::string(arg.what) + " is empty");
  }
  return success();
}

Outcome check_count(int count, std::size_t items, std::string_view what) {
  if (count < 0 || static_cast<std::size_t>(count) > items) {
    return failure(CODE_BAD_ARGUMENT, "the " + std::string(what) + " count " + std::to_string(count) +
                                          " does not fit the " + std::to_string(items) + " given");
  }
  return success();
}

int respond(const Outcome& outcome, kxadmin_response_t& rsp) {
  if (outcome.ok()) {
    rsp.reset();
    return 1;
  }
  rsp.reset(new kxadmin_response{{{outcome.code, 0, outcome.message}}, outcome.reason});
  return 0;
}

Outcome check_call(const kxadmin_context* ctx, std::initializer_list<RequiredArg> args, const Outcome& more_checks) {
  if (ctx == nullptr || !ctx->store) return failure(CODE_NO_CONTEXT, "no policy server context");
  if (Outcome r = check_args(args); !r.ok()) return r;
  return more_checks;
}

int api_call(const kxadmin_context* ctx, std::string_view api, kx_str name, std::initializer_list<RequiredArg> args,
             kxadmin_response_t& rsp, const std::function<Outcome(Store&)>& change, const Outcome& more_checks) {
  if (Outcome r = check_call(ctx, args, more_checks); !r.ok()) return respond(r, rsp);
  Store& store = *ctx->store;
  return respond(store.call(api, name, [&] { return change(store); }), rsp);
}

int list_call(const kxadmin_context* ctx, std::string_view api, kx_str name, std::initializer_list<RequiredArg> args,
              unsigned long& count, std::vector<std::string>& names, kxadmin_response_t& rsp,
              const std::function<Outcome(Store&, std::vector<std::string>&)>& list, const Outcome& more_checks) {
  const int result = read_call(ctx, api, name, args, names, rsp, list, more_checks);
  count = names.size();
  return result;
}

}  // namespace kx
