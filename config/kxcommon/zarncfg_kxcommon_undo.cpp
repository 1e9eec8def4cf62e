// The undo stack: every command applied in this run, so that a failed run
// can take them back, newest first.  Taking them back is execution's part.
//
// A large default policy is loaded line by line, so the stack is what
// grows with it: each entry is kept as the line as applied, back to back in
// one text, and taken apart again only when it is undone.  A word a field,
// as a parsed command keeps them, would cost several times the file.
#include "zarncfg_kxcommon.h"

#include <vector>

#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

namespace {

struct UndoEntry {
  std::size_t end = 0;  // in UndoStack::lines
  int index = -1;       // row of zarncfg_kxadmin_command_usage
};

// Grows with the run: a policy of any size is rolled back completely.
struct UndoStack {
  std::string lines;
  std::vector<UndoEntry> entries;
};

UndoStack& undo_stack() {
  static UndoStack stack;
  return stack;
}

// Doubling would leave up to half the stack unused.
template <typename Container>
void grow_by_a_quarter(Container& container, std::size_t added) {
  const std::size_t needed = container.size() + added;
  if (needed > container.capacity()) container.reserve(needed + needed / 4);
}

// The line of the newest entry.
std::string_view newest_line(const UndoStack& stack) {
  const std::size_t begin = stack.entries.size() > 1 ? stack.entries[stack.entries.size() - 2].end : 0;
  return std::string_view(stack.lines).substr(begin, stack.entries.back().end - begin);
}

}  // namespace

void zarncfg_kxadmin_reset_undo_stack() {
  undo_stack().lines.clear();
  undo_stack().entries.clear();
}

std::size_t zarncfg_kxadmin_undo_depth() { return undo_stack().entries.size(); }

int zarncfg_kxadmin_push(const AdminCommand& cmd, std::string_view line) {
  auto& stack = undo_stack();
  trace(msg_id(375), cmd.command, static_cast<long>(stack.entries.size()));
  // The entry keeps the line as applied, placeholders filled in, so that
  // its inverse names exactly what was created.
  int count = 0;
  if (!zarncfg_strg_parser(line, count, ' ')) {
    print_and_log_error(msg_id(1356), line);
    return 1;
  }
  grow_by_a_quarter(stack.lines, line.size());
  grow_by_a_quarter(stack.entries, 1);
  stack.lines.append(line);
  stack.entries.push_back(UndoEntry{stack.lines.size(), cmd.index});
  return 0;
}

bool zarncfg_kxadmin_pop(AdminCommand& newest) {
  auto& stack = undo_stack();
  if (stack.entries.empty()) return false;
  const std::string_view line = newest_line(stack);
  int count = 0;
  auto fields = zarncfg_strg_parser(line, count, ' ');
  newest = AdminCommand{};
  // It split when it was pushed, and splits the same way again.
  if (fields) {
    newest.command = count >= 2 ? (*fields)[0] + "_" + (*fields)[1] : (*fields)[0];
    newest.fields = std::move(*fields);
  }
  newest.index = stack.entries.back().index;
  stack.lines.resize(stack.lines.size() - line.size());
  stack.entries.pop_back();
  return true;
}
