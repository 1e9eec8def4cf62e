// The undo stack: every command applied in this run, so that a failed run
// can take them back, newest first.  Taking them back is execution's part.
//
// A large default policy is loaded line by line, so the stack is what
// grows with it.  Each entry is kept as the line as applied, with its
// command's row in one byte after it and a newline, back to back in chunks
// of text; it is taken apart again only when it is undone.  A string for
// each field, as a parsed command keeps them, would cost several times the
// file, and one text grown by copying would leave its old copies behind.
#include "zarncfg_kxcommon.h"

#include <algorithm>
#include <deque>

#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

namespace {

constexpr std::size_t kChunk = 64 * 1024;
// Rows are stored as letters, so that no row reads as a line end.
constexpr char kFirstRow = 'A';
static_assert(kFirstRow + zarncfg_kxadmin_command_usage.size() < 127, "every row is one plain character");

// Grows with the run: a policy of any size is rolled back completely.
struct UndoStack {
  std::deque<std::string> chunks;
  std::size_t depth = 0;
};

UndoStack& undo_stack() {
  static UndoStack stack;
  return stack;
}

void append(UndoStack& stack, std::string_view line, int row) {
  const std::size_t size = line.size() + 2;
  if (stack.chunks.empty() || stack.chunks.back().capacity() - stack.chunks.back().size() < size) {
    stack.chunks.emplace_back().reserve(std::max(kChunk, size));
  }
  std::string& chunk = stack.chunks.back();
  chunk.append(line);
  chunk.push_back(static_cast<char>(kFirstRow + row));
  chunk.push_back('\n');
  ++stack.depth;
}

}  // namespace

void zarncfg_kxadmin_reset_undo_stack() { undo_stack() = UndoStack{}; }

std::size_t zarncfg_kxadmin_undo_depth() { return undo_stack().depth; }

int zarncfg_kxadmin_push(const AdminCommand& cmd, std::string_view line) {
  auto& stack = undo_stack();
  trace(msg_id(375), cmd.command, static_cast<long>(stack.depth));
  // The entry keeps the line as applied, placeholders filled in, so that
  // its inverse names exactly what was created.
  int count = 0;
  if (!zarncfg_strg_parser(line, count, ' ')) {
    print_and_log_error(msg_id(1356), line);
    return 1;
  }
  append(stack, line, cmd.index);
  return 0;
}

bool zarncfg_kxadmin_pop(AdminCommand& newest) {
  auto& stack = undo_stack();
  if (stack.depth == 0) return false;
  std::string& chunk = stack.chunks.back();
  // "<line><row>\n": lines hold no newline of their own.
  const std::size_t row_at = chunk.size() - 2;
  const std::size_t previous_end = row_at == 0 ? std::string::npos : chunk.rfind('\n', row_at - 1);
  const std::size_t begin = previous_end == std::string::npos ? 0 : previous_end + 1;
  const std::string_view line = std::string_view(chunk).substr(begin, row_at - begin);
  newest = AdminCommand{};
  newest.index = chunk[row_at] - kFirstRow;
  int count = 0;
  // It split when it was pushed, and splits the same way again.
  if (auto fields = zarncfg_strg_parser(line, count, ' ')) {
    newest.command = count >= 2 ? (*fields)[0] + "_" + (*fields)[1] : (*fields)[0];
    newest.fields = std::move(*fields);
  }
  chunk.resize(begin);
  if (chunk.empty()) stack.chunks.pop_back();
  --stack.depth;
  return true;
}
