// Logging in to the policy server and loading the product's default policy
// that the server does not hold yet.
#include "zarncfg_kxcommon.h"

#include <unistd.h>

#include "zarncfg_svc.h"

kxadmin_context_t ctx;

namespace {

bool tag_the_context(kxadmin_response_t& response) {
  const int result = kxadmin_context_setruntag(ctx.get(), zarncfg_kxadmin_run_tag(), response);
  trace(msg_id(359), "kxadmin_context_setruntag", static_cast<long>(result));
  return result == 1;
}

}  // namespace

void zarncfg_initialize_kxadmin_context(const ConfigRecord& record, std::string_view /*program*/,
                                        vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_initialize_kxadmin_context");
  status = 0;
  if (is_already_configured(record)) return;
  print_and_trace(msg_id(309));
  kxadmin_response_t response;
  const bool preview = zarncfg_kxadmin_current_preview() != nullptr;
  const std::string& password = record[IDX_SEC_MASTER_PWD].text();
  const int result = preview ? kxadmin_context_createreadonly("sec_master", password, ctx, response)
                             : kxadmin_context_createdefault("sec_master", password, ctx, response);
  trace(msg_id(359), "kxadmin_context_createdefault", static_cast<long>(result));
  if (result == 1 && !preview && !tag_the_context(response)) {
    // No policy command without its undo record: a context that cannot
    // carry this run's tag is no context for this run.
    zarncfg_process_response(response.get());
    ctx.reset();
    status = msg_id(1352);
    print_and_log_error(msg_id(1352));
  } else if (result != 1) {
    const std::uint32_t code = zarncfg_process_response(response.get());
    status = msg_id(1352);
    print_and_log_error(msg_id(1352));
    if (code == KXADMIN_CODE_BAD_PASSWORD) {
      print_and_log_error(msg_id(1377));
      status = msg_id(1377);
    }
  }
  kxadmin_free(response);
}

namespace {

constexpr std::string_view kProductSpace = "/BREVIK";

// Whether the list holds the name, exactly.
bool list_holds(const std::vector<std::string>& names, std::string_view wanted) {
  for (const auto& name : names) {
    if (name == wanted) {
      trace(msg_id(369));
      return true;
    }
  }
  return false;
}

struct Registered {
  bool product = false;
  bool branch = false;
};

// A failed listing counts as an empty one: the files are then applied and
// fail on the first object that does exist, which names the problem.
Registered look_up_object_spaces(const std::string& branch_space) {
  trace(msg_id(374), kProductSpace);
  trace(msg_id(374), branch_space);
  unsigned long count = 0;
  std::vector<std::string> names;
  kxadmin_response_t response;
  const int result = kxadmin_objectspace_list(ctx.get(), count, names, response);
  trace(msg_id(373), kProductSpace, count, result);
  Registered found{list_holds(names, kProductSpace), list_holds(names, branch_space)};
  if (count != 0) trace(msg_id(370));
  kxadmin_free(response);
  return found;
}

bool file_exists(const char* path) { return access(path, F_OK) == 0; }

void apply_branch_files(const ConfigRecord& record, vd_msgid_t& status) {
  if (zarncfg_acl_exists("brevik-exec-open") == 0 && file_exists(BREVIK_ONCE_ONLY_U3800)) {
    zarncfg_process_kxadmin_file(BREVIK_ONCE_ONLY_U3800, record, "zarncfg", status);
    if (status != 0) return;
  }
  if (zarncfg_acl_exists("brevik-default-password") == 0 && file_exists(BREVIK_ONCE_ONLY_U4100)) {
    zarncfg_process_kxadmin_file(BREVIK_ONCE_ONLY_U4100, record, "zarncfg", status);
    if (status != 0) return;
  }
  zarncfg_process_kxadmin_file(BREVIK_PER_POLICY, record, "zarncfg", status);
}

}  // namespace

namespace {

// Whether the product's and the branch's policy are on the policy server.
// Both decisions are made before anything is applied: what the product
// file creates must not make this run skip its branch.  A first
// configuration makes each under the lease of its space (the product's
// first, so that runs never wait for each other in a circle).
Registered shared_policy(const ConfigRecord& record, const std::string& branch_space, vd_msgid_t& status) {
  // A run without a context (a host configured already) applies nothing.
  if (!ctx) return look_up_object_spaces(branch_space);
  Registered found;
  found.product = zarncfg_shared_policy_present(
      record, kProductSpace, [&] { return look_up_object_spaces(branch_space).product; }, status);
  if (status != 0) return found;
  found.branch = zarncfg_shared_policy_present(
      record, branch_space, [&] { return look_up_object_spaces(branch_space).branch; }, status);
  return found;
}

}  // namespace

void zarncfg_define_default_policies(const ConfigRecord& record, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_define_default_policies");
  const std::string branch_space = std::string(kProductSpace) + "/" + record[IDX_BRANCH].text();
  const Registered registered = shared_policy(record, branch_space, status);
  if (status != 0) return;
  if (!registered.product) {
    zarncfg_process_kxadmin_file(BREVIK_ONCE_ONLY, record, "zarncfg", status);
  } else {
    trace(msg_id(365), kProductSpace);
  }
  if (status != 0) return;
  if (!registered.branch) {
    apply_branch_files(record, status);
  } else {
    trace(msg_id(368), branch_space);
  }
  if (status != 0) return;
  zarncfg_process_kxadmin_file(BREVIK_PER_MACHINE, record, "zarncfg", status);
}

int zarncfg_acl_exists(std::string_view acl) {
  FunctionTrace scope("zarncfg_acl_exists");
  unsigned long count = 0;
  std::vector<std::string> names;
  kxadmin_response_t response;
  const int result = kxadmin_acl_list(ctx.get(), count, names, response);
  trace(msg_id(373), acl, count, result);
  const bool found = list_holds(names, acl);
  if (count != 0) trace(msg_id(370));
  kxadmin_free(response);
  return found ? 1 : 0;
}

std::optional<std::string> zarncfg_kxadmin_registered_name(vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_kxadmin_registered_name");
  // The name certbind registers the security daemon under; a pattern
  // without "*" matches that one name only.
  const std::string name = "zarnd/" + zarncfg_kxadmin_run_tag().host;
  unsigned long count = 0;
  std::vector<std::string> names;
  kxadmin_response_t response;
  int result = kxadmin_user_list(ctx.get(), name, 0, count, names, response);
  trace(msg_id(373), name, count, result);
  if (result != 1) {
    zarncfg_process_response(response.get());
    if (kxadmin_response_getreason(response.get()) == 1) result = 1;
    kxadmin_free(response);
  }
  if (result != 1) {
    status = msg_id(1425);
    print_and_log_error(msg_id(1425), name);
    return std::nullopt;
  }
  if (names.empty()) return std::nullopt;
  return names.front();
}
