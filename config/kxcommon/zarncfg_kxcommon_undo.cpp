// The undo stack: the commands applied in this run, newest last.  Their
// undo records live on the policy server, written in the same transaction
// as each command; the stack says what a roll-back shows and logs.
#include "zarncfg_kxcommon.h"

#include <vector>

#include "zarncfg_svc.h"

namespace {

// Grows with the run: a policy of any size is rolled back completely.
std::vector<AdminCommand>& undo_stack() {
  static std::vector<AdminCommand> stack;
  return stack;
}

}  // namespace

void zarncfg_kxadmin_reset_undo_stack() { undo_stack().clear(); }

std::size_t zarncfg_kxadmin_undo_depth() { return undo_stack().size(); }

void zarncfg_kxadmin_push(const AdminCommand& cmd) {
  auto& stack = undo_stack();
  trace(msg_id(375), cmd.command, static_cast<long>(stack.size()));
  AdminCommand entry;
  entry.command = cmd.command;
  entry.index = cmd.index;
  stack.push_back(std::move(entry));
}

bool zarncfg_kxadmin_pop(AdminCommand& newest) {
  auto& stack = undo_stack();
  if (stack.empty()) return false;
  newest = std::move(stack.back());
  stack.pop_back();
  return true;
}
