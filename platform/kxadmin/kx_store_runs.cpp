// Runs and their undo records: listing, rolling back, discarding, dumping.
#include "kx_store.h"

namespace kx {
namespace {

std::string run_fields(const RunTag& run) {
  return "host=" + quote(run.host) + " pid=" + std::to_string(run.process_id) +
         " started=" + std::to_string(run.start_time);
}

RunTag run_at(const Row& row, int col) {
  return RunTag{row.text(col).value_or(""), row.integer(col + 1), row.integer(col + 2)};
}

}  // namespace

Outcome Store::run_list(opt_str host, std::vector<RunInfo>& runs) {
  runs.clear();
  const auto add = [&](const Row& row) {
    runs.push_back(RunInfo{run_at(row, 0), static_cast<unsigned long>(row.integer(3))});
  };
  constexpr std::string_view SELECT =
      "SELECT host, pid, started, (SELECT count(*) FROM undo WHERE undo.run = run.id) FROM run";
  if (host) return query(std::string(SELECT) + " WHERE host = ? ORDER BY host, pid, started", {*host}, add);
  return query(std::string(SELECT) + " ORDER BY host, pid, started", {}, add);
}

// A restored row whose ACL, user or group has been deleted since (by
// another run) is left out: that delete would have taken it along.  The
// savepoint keeps the transaction usable on databases where a refused
// statement would end it.
Outcome Store::apply_undo_step(const UndoStep& step) {
  std::vector<SqlArg> args;
  for (const RowValue& value : step.values) args.push_back(as_arg(value));
  const std::string& sql = apply_step_sql(step);
  if (step.kind == UndoStep::Kind::remove) {
    return db_->execute(sql, args, nullptr) == DbStatus::ok ? success() : store_error();
  }
  if (Outcome r = run("SAVEPOINT kx_step", {}); !r.ok()) return r;
  const DbStatus status = db_->execute(sql, args, nullptr);
  if (status == DbStatus::constraint) {
    if (Outcome r = run("ROLLBACK TO SAVEPOINT kx_step", {}); !r.ok()) return r;
  } else if (status != DbStatus::ok) {
    return store_error();
  }
  return run("RELEASE SAVEPOINT kx_step", {});
}

// Records are numbered 1..n within their run and only the newest is ever
// taken, so taking record 1 leaves the run without records; the run row
// goes with it (after a check, so that no record is ever dropped).
Outcome Store::undo_newest(const RunTag& run_tag, bool& finished) {
  finished = true;
  std::int64_t run_row = 0;
  std::int64_t record = 0;
  std::string text;
  Outcome r = query(
      "SELECT run.id, undo.seq, undo.steps FROM run LEFT JOIN undo ON undo.run = run.id "
      "WHERE run.host = ? AND run.pid = ? AND run.started = ? ORDER BY undo.seq DESC LIMIT 1",
      {run_tag.host, run_tag.process_id, run_tag.start_time}, [&](const Row& row) {
        run_row = row.integer(0);
        record = row.integer(1);
        text = row.text(2).value_or("");
      });
  if (!r.ok() || run_row == 0) return r;
  if (record != 0) {
    std::vector<UndoStep> steps;
    if (!decode_undo_steps(text, steps)) {
      return failure(CODE_STORE_ERROR, "policy store failure: an undo record of run " + run_fields(run_tag) +
                                           " cannot be read");
    }
    for (const UndoStep& step : steps) {
      if (r = apply_undo_step(step); !r.ok()) return r;
    }
    if (r = run("DELETE FROM undo WHERE run = ? AND seq = ?", {run_row, record}); !r.ok()) return r;
  }
  bool more = record > 1;
  if (!more) r = query("SELECT 1 FROM undo WHERE run = ? LIMIT 1", {run_row}, [&](const Row&) { more = true; });
  if (!r.ok()) return r;
  finished = !more;
  return more ? success() : run("DELETE FROM run WHERE id = ?", {run_row});
}

// The undo records go with their run (foreign key).
Outcome Store::discard_run(const RunTag& run_tag) {
  return run("DELETE FROM run WHERE host = ? AND pid = ? AND started = ?",
             {run_tag.host, run_tag.process_id, run_tag.start_time});
}

Outcome Store::rollback_run(const RunTag& run_tag, std::string_view api) {
  bool finished = false;
  while (!finished) {
    const Outcome r = call(api, run_tag.host, [&] { return undo_newest(run_tag, finished); });
    if (!r.ok()) return r;
  }
  return success();
}

// "run ..." and then "undo ... seq=N ... step=M <step>" lines, one for each
// step of each record, numbered from the run's oldest record; row ids do
// not show, so equal histories dump equally.
Outcome Store::dump_undo(std::string& text) {
  std::vector<RunInfo> runs;
  if (Outcome r = run_list(std::nullopt, runs); !r.ok()) return r;
  for (const RunInfo& info : runs) {
    const std::string fields = run_fields(info.tag);
    text += "run " + fields + " undo_records=" + std::to_string(info.undo_records) + "\n";
    Outcome r = query(
        "SELECT undo.seq, undo.api, undo.name, undo.steps FROM undo JOIN run ON undo.run = run.id "
        "WHERE run.host = ? AND run.pid = ? AND run.started = ? ORDER BY undo.seq",
        {info.tag.host, info.tag.process_id, info.tag.start_time}, [&](const Row& row) {
          const std::string head = "undo " + fields + " seq=" + std::to_string(row.integer(0)) +
                                   " api=" + render(value_at(row, 1)) + " name=" + render(value_at(row, 2));
          std::vector<UndoStep> steps;
          if (!decode_undo_steps(row.text(3).value_or(""), steps)) {
            text += head + " unreadable\n";
            return;
          }
          for (std::size_t i = 0; i < steps.size(); ++i) {
            text += head + " step=" + std::to_string(i + 1) + " " + undo_step_line(steps[i], true) + "\n";
          }
        });
    if (!r.ok()) return r;
  }
  return success();
}

}  // namespace kx
