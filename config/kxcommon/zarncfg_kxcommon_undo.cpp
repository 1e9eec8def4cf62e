// The undo stack: every command applied in this run, so that a failed run
// can take them back, newest first.  Taking them back is execution's part.
#include "zarncfg_kxcommon.h"

#include <vector>

#include "zarncfg_strings.h"
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

int zarncfg_kxadmin_push(const AdminCommand& cmd, std::string_view line) {
  auto& stack = undo_stack();
  trace(msg_id(375), cmd.command, static_cast<long>(stack.size()));
  // The entry keeps the line as applied, placeholders filled in, so that
  // its inverse names exactly what was created.
  int count = 0;
  auto fields = zarncfg_strg_parser(line, count, ' ');
  if (!fields) {
    print_and_log_error(msg_id(1356), line);
    return 1;
  }
  AdminCommand entry;
  entry.command = cmd.command;
  entry.fields = std::move(*fields);
  entry.index = cmd.index;
  stack.push_back(std::move(entry));
  return 0;
}

bool zarncfg_kxadmin_pop(AdminCommand& newest) {
  auto& stack = undo_stack();
  if (stack.empty()) return false;
  newest = std::move(stack.back());
  stack.pop_back();
  return true;
}
