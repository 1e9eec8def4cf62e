// What the kxadmin_ functions share: the context and response records, and
// the steps of one call (context, arguments, fault, transaction, response).
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kx_store.h"
#include "kxadmin.h"

struct kxadmin_context {
  std::unique_ptr<kx::Store> store;
};

struct kxadmin_response {
  struct Entry {
    std::uint32_t code = 0;
    std::uint32_t modifier = 0;
    std::string message;
  };
  std::vector<Entry> entries;
  int reason = 0;
};

namespace kx {

// A required argument: names must be given and not empty; other strings
// (permissions, labels, passwords) must only be given.
struct RequiredArg {
  kx_str value;
  std::string_view what;
  bool is_name = true;
};
inline RequiredArg name_arg(kx_str value, std::string_view what) { return {value, what, true}; }
inline RequiredArg text_arg(kx_str value, std::string_view what) { return {value, what, false}; }

Outcome check_args(std::initializer_list<RequiredArg> args);
// Checks that `count` picks a prefix of `items`.
Outcome check_count(int count, std::size_t items, std::string_view what);

// Success leaves no response; a failure leaves one entry and its reason.
int respond(const Outcome& outcome, kxadmin_response_t& rsp);

// The checks every call makes first: a context, the required arguments,
// then `more_checks`.
Outcome check_call(const kxadmin_context* ctx, std::initializer_list<RequiredArg> args,
                   const Outcome& more_checks = success());

// One call of the kxadmin_ function `api` whose first name argument is
// `name`: the change runs against the context's store as one transaction.
// Arguments are checked (`args`, then `more_checks`) before a fault is
// consumed, so a malformed call never uses one up.
int api_call(const kxadmin_context* ctx, std::string_view api, kx_str name, std::initializer_list<RequiredArg> args,
             kxadmin_response_t& rsp, const std::function<Outcome(Store&)>& change,
             const Outcome& more_checks = success());

// The same for a call that reads into `out`: it is left empty on failure,
// but filled when an injected fault of reason 1 says the call did its work.
template <class Out>
int read_call(const kxadmin_context* ctx, std::string_view api, kx_str name, std::initializer_list<RequiredArg> args,
              Out& out, kxadmin_response_t& rsp, const std::function<Outcome(Store&, Out&)>& read,
              const Outcome& more_checks = success()) {
  out = Out{};
  Out found{};
  const int result = api_call(
      ctx, api, name, args, rsp, [&](Store& store) { return read(store, found); }, more_checks);
  if (result == 1 || kxadmin_response_getreason(rsp.get()) == 1) out = std::move(found);
  return result;
}

// The same for the list calls, which also clear their outputs on failure.
int list_call(const kxadmin_context* ctx, std::string_view api, kx_str name, std::initializer_list<RequiredArg> args,
              unsigned long& count, std::vector<std::string>& names, kxadmin_response_t& rsp,
              const std::function<Outcome(Store&, std::vector<std::string>&)>& list,
              const Outcome& more_checks = success());

}  // namespace kx
