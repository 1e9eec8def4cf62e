// Carrying out one command through its wrapper.
#include "zarncfg_kxcommon.h"

#include "zarncfg_svc.h"

namespace {

// In the order of zarncfg_kxadmin_command_usage: the row is the index.
constexpr std::array<KxWrapper, 11> kWrappers = {
    zarncfg_kx_protobj_create, zarncfg_kx_protobj_attachacl, zarncfg_kx_acl_create,
    zarncfg_kx_acl_modify,     zarncfg_kx_action_create,     zarncfg_kx_group_create,
    zarncfg_kx_group_modify,   zarncfg_kx_objectspace_create, zarncfg_kx_user_create,
    zarncfg_kx_user_modify,    zarncfg_kx_action_group,
};
static_assert(kWrappers.size() == zarncfg_kxadmin_command_usage.size(), "one wrapper per command");

int run_wrapper(const AdminCommand& cmd) {
  if (cmd.index < 0 || static_cast<std::size_t>(cmd.index) >= kWrappers.size()) {
    log_error(msg_id(1357));
    return 0;
  }
  kxadmin_response_t response;
  int result = kWrappers[static_cast<std::size_t>(cmd.index)](ctx.get(), cmd.fields, response);
  if (result != 1) {
    zarncfg_process_response(response.get());
    // Reason 1: the server made the change even though the call failed, so
    // it has to be undone like any other.
    if (kxadmin_response_getreason(response.get()) == 1) result = 1;
    kxadmin_free(response);
  }
  return result;
}

}  // namespace

std::uint32_t zarncfg_process_response(const kxadmin_response* response) {
  std::uint32_t code = 0;
  const unsigned count = kxadmin_response_getcount(response);
  for (unsigned i = 0; i < count; ++i) {
    code = kxadmin_response_getcode(response, i);
    (void)kxadmin_response_getmodifier(response, i);
    log_msg(SUB_UTIL, VD_ATTR_NOTICE, msg_id(8), kxadmin_response_getmessage(response, i), code);
  }
  return code;
}

int zarncfg_execute_kxadmin_command(const AdminCommand& cmd) {
  FunctionTrace scope("zarncfg_execute_kxadmin_command");
  trace(msg_id(390), cmd.index, cmd.command);
  if (PolicyPreview* preview = zarncfg_kxadmin_current_preview(); preview != nullptr && !preview->files.empty()) {
    ++preview->files.back().commands;
    return 0;
  }
  if (run_wrapper(cmd) != 1) return 1;
  zarncfg_kxadmin_push(cmd);
  return 0;
}
