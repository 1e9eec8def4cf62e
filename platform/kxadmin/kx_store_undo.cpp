// Writing undo records: each operation notes how to take its change back,
// and the call writes the notes as one record in its own transaction.
#include <cstdlib>

#include "kx_store.h"

namespace kx {
namespace {

// Table names here come from the operations' own code; an unknown one is
// a programming error, not a condition of the store.
const PolicyTable& known_table(std::string_view name) {
  const PolicyTable* table = policy_table(name);
  if (table == nullptr) std::abort();
  return *table;
}

}  // namespace

void Store::undo_begin_op() {
  if (run_tag_) undo_groups_.emplace_back();
}

Outcome Store::undo_note_row(std::string_view table_name, std::initializer_list<SqlArg> key) {
  if (!run_tag_ || undo_groups_.empty()) return success();
  const PolicyTable& table = known_table(table_name);
  UndoStep step{UndoStep::Kind::remove, &table, {}};
  const Outcome r = query(select_row_sql(table), key, [&](const Row& row) {
    step.kind = UndoStep::Kind::restore;
    for (int col = 0; col < row.column_count(); ++col) step.values.push_back(value_at(row, col));
  });
  if (!r.ok()) return r;
  if (step.kind == UndoStep::Kind::remove) {
    for (const SqlArg& part : key) {
      const opt_str* text = std::get_if<opt_str>(&part);
      if (text == nullptr) {
        step.values.emplace_back(std::get<std::int64_t>(part));
      } else {
        step.values.push_back(*text ? RowValue(std::string(**text)) : RowValue());
      }
    }
  }
  undo_groups_.back().push_back(std::move(step));
  return success();
}

Outcome Store::undo_note_rows_where(std::string_view table_name, std::string_view column, std::string_view value) {
  if (!run_tag_ || undo_groups_.empty()) return success();
  const PolicyTable& table = known_table(table_name);
  std::vector<UndoStep>& group = undo_groups_.back();
  return query(select_rows_where_sql(table, column), {value}, [&](const Row& row) {
    UndoStep step{UndoStep::Kind::restore, &table, {}};
    for (int col = 0; col < row.column_count(); ++col) step.values.push_back(value_at(row, col));
    group.push_back(std::move(step));
  });
}

void Store::undo_note_made(std::string_view table_name, std::initializer_list<std::string_view> key) {
  if (!run_tag_ || undo_groups_.empty()) return;
  UndoStep step{UndoStep::Kind::remove, &known_table(table_name), {}};
  for (const std::string_view part : key) step.values.emplace_back(std::string(part));
  undo_groups_.back().push_back(std::move(step));
}

// A run's row exists exactly while it has undo records: made with its
// first record, removed with its last.
Outcome Store::run_id(const RunTag& run, bool make, std::int64_t& id) {
  id = 0;
  const auto take_id = [&](const Row& row) { id = row.integer(0); };
  Outcome r = query("SELECT id FROM run WHERE host = ? AND pid = ? AND started = ?",
                    {run.host, run.process_id, run.start_time}, take_id);
  if (r.ok() && id == 0 && make) {
    r = query("INSERT INTO run(host, pid, started) VALUES(?, ?, ?) RETURNING id",
              {run.host, run.process_id, run.start_time}, take_id);
  }
  return r;
}

Outcome Store::write_undo_record(std::string_view api, opt_str name) {
  if (!run_tag_ || undo_groups_.empty()) return success();
  std::vector<UndoStep> steps;
  for (auto group = undo_groups_.rbegin(); group != undo_groups_.rend(); ++group) {
    for (UndoStep& step : *group) steps.push_back(std::move(step));
  }
  if (steps.empty()) return success();
  // A change of policy by a run that lost a lease: another run may have
  // taken this run's policy back and be loading its own in its place.
  if (Outcome r = leases_still_held(); !r.ok()) return r;
  const std::string text = encode_undo_steps(steps);
  const RunTag& tag = *run_tag_;
  // Records are numbered from 1 within their run, oldest first.  The run's
  // row is found (or, for its first record, made) by the insert itself.
  const auto insert = [&] {
    return run("INSERT INTO undo(run, seq, api, name, steps) "
               "SELECT run.id, COALESCE((SELECT MAX(seq) FROM undo WHERE undo.run = run.id), 0) + 1, ?, ?, ? "
               "FROM run WHERE host = ? AND pid = ? AND started = ?",
               {api, name, std::string_view(text), tag.host, tag.process_id, tag.start_time});
  };
  if (Outcome r = insert(); !r.ok() || changes() > 0) return r;
  std::int64_t id = 0;
  if (Outcome r = run_id(tag, true, id); !r.ok()) return r;
  if (Outcome r = insert(); !r.ok() || changes() > 0) return r;
  return failure(CODE_STORE_ERROR, "policy store failure: the undo record of the change cannot be written");
}

}  // namespace kx
