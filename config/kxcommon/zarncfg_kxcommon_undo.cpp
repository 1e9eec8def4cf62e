// The undo stack: the commands applied in this run, newest last.  Their
// undo records live on the policy server, written in the same transaction
// as each command; the stack says what a roll-back shows and logs.
//
// A large default policy is loaded line by line, so the stack is what
// grows with it: it keeps each command's row of the command table, one
// byte a command, and names the command again from its row when it is
// taken back.
#include "zarncfg_kxcommon.h"

#include <vector>

#include "zarncfg_svc.h"

namespace {

// Grows with the run: a policy of any size is rolled back completely.
std::vector<unsigned char>& undo_stack() {
  static std::vector<unsigned char> stack;
  return stack;
}

}  // namespace

void zarncfg_kxadmin_reset_undo_stack() { undo_stack() = std::vector<unsigned char>{}; }

std::size_t zarncfg_kxadmin_undo_depth() { return undo_stack().size(); }

void zarncfg_kxadmin_push(const AdminCommand& cmd) {
  auto& stack = undo_stack();
  trace(msg_id(375), cmd.command, static_cast<long>(stack.size()));
  stack.push_back(static_cast<unsigned char>(cmd.index));
}

bool zarncfg_kxadmin_pop(AdminCommand& newest) {
  auto& stack = undo_stack();
  if (stack.empty()) return false;
  newest = AdminCommand{};
  newest.index = stack.back();
  newest.command = std::string(zarncfg_kxadmin_command_usage[newest.index].command);
  stack.pop_back();
  return true;
}
