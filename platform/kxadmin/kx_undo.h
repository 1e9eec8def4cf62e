// Undo records: how to put the policy back as it was before one call.  A
// record is a list of steps, applied in order; each step restores one row
// as it was (inserting it, or setting its columns back) or removes one row
// the call made.  Rows a delete takes with it are restored as rows of their
// own, parents first.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kx_schema.h"
#include "kx_text.h"

namespace kx {

struct UndoStep {
  enum class Kind { restore, remove };
  Kind kind = Kind::restore;
  const PolicyTable* table = nullptr;
  // restore: every column of the row; remove: its key columns.
  std::vector<RowValue> values;
};

// A record as text, one step a line: "restore acl_user acl="a" user="u"
// perms="r"" or "remove acl name="a"".  `mask` shows password hashes as
// <hash>, for the dump; the stored text keeps them.
std::string undo_step_line(const UndoStep& step, bool mask);
std::string encode_undo_steps(std::span<const UndoStep> steps);
// False for text that is not a list of steps on the store's policy tables.
[[nodiscard]] bool decode_undo_steps(std::string_view text, std::vector<UndoStep>& steps);

// The statements that capture and apply steps on `table`; each binds the
// values of the step (or the key) in column order.
const std::string& select_row_sql(const PolicyTable& table);
// The rows whose `column` holds a given value (what a delete takes along).
std::string select_rows_where_sql(const PolicyTable& table, std::string_view column);
const std::string& apply_step_sql(const UndoStep& step);

}  // namespace kx
