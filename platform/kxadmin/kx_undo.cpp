#include "kx_undo.h"

#include <map>

namespace kx {
namespace {

std::string_view kind_word(UndoStep::Kind kind) { return kind == UndoStep::Kind::restore ? "restore" : "remove"; }

// The store's own password and version never change through a call, so no
// record may touch them.
bool undoable(const PolicyTable* table) {
  return table != nullptr && table->name != "meta" && table->name != "sec_master";
}

std::string_view take_word(std::string_view& text) {
  const std::size_t blank = text.find(' ');
  const std::string_view word = text.substr(0, blank);
  text.remove_prefix(blank == std::string_view::npos ? text.size() : blank);
  return word;
}

bool decode_step(std::string_view line, UndoStep& step) {
  const std::string_view kind = take_word(line);
  if (kind != "restore" && kind != "remove") return false;
  step.kind = kind == "restore" ? UndoStep::Kind::restore : UndoStep::Kind::remove;
  if (!line.starts_with(' ')) return false;
  line.remove_prefix(1);
  step.table = policy_table(take_word(line));
  if (!undoable(step.table)) return false;
  const std::vector<std::string_view> columns = column_names(*step.table);
  const std::size_t count = step.kind == UndoStep::Kind::restore ? columns.size() : step.table->key_count;
  step.values.clear();
  for (std::size_t i = 0; i < count; ++i) {
    const std::string prefix = " " + std::string(columns[i]) + "=";
    if (!line.starts_with(prefix)) return false;
    line.remove_prefix(prefix.size());
    std::optional<RowValue> value = take_value(line);
    if (!value) return false;
    step.values.push_back(std::move(*value));
  }
  return line.empty();
}

std::string where_key(const PolicyTable& table) {
  std::string where;
  const std::vector<std::string_view> columns = column_names(table);
  for (std::size_t i = 0; i < table.key_count; ++i) {
    where += (i == 0 ? " WHERE " : " AND ") + sql_name(columns[i]) + " = ?";
  }
  return where;
}

std::string restore_sql(const PolicyTable& table) {
  const std::vector<std::string_view> columns = column_names(table);
  std::string sql = "INSERT INTO " + sql_name(table.name) + "(" + sql_columns(table, columns.size()) + ") VALUES(";
  for (std::size_t i = 0; i < columns.size(); ++i) sql += i == 0 ? "?" : ", ?";
  sql += ") ON CONFLICT(" + sql_columns(table, table.key_count) + ") DO ";
  if (table.key_count == columns.size()) return sql + "NOTHING";
  sql += "UPDATE SET ";
  for (std::size_t i = table.key_count; i < columns.size(); ++i) {
    sql += (i == table.key_count ? "" : ", ") + sql_name(columns[i]) + " = excluded." + sql_name(columns[i]);
  }
  return sql;
}

std::string remove_sql(const PolicyTable& table) { return "DELETE FROM " + sql_name(table.name) + where_key(table); }

// Statements built once for every table, on first use (a thread-safe
// static initialisation), and kept for the life of the process.
using SqlByTable = std::map<const PolicyTable*, std::string>;

SqlByTable for_every_table(std::string (*build)(const PolicyTable&)) {
  SqlByTable built;
  for (const PolicyTable& table : policy_tables()) built.emplace(&table, build(table));
  return built;
}

std::string select_sql(const PolicyTable& table) {
  return "SELECT " + sql_columns(table, column_names(table).size()) + " FROM " + sql_name(table.name) +
         where_key(table);
}

}  // namespace

std::string undo_step_line(const UndoStep& step, bool mask) {
  std::string line = std::string(kind_word(step.kind)) + " " + std::string(step.table->name);
  const std::vector<std::string_view> columns = column_names(*step.table);
  for (std::size_t i = 0; i < step.values.size() && i < columns.size(); ++i) {
    const bool hidden = mask && columns[i] == step.table->masked_column &&
                        std::holds_alternative<std::string>(step.values[i]);
    line += " " + std::string(columns[i]) + "=" + (hidden ? "<hash>" : render(step.values[i]));
  }
  return line;
}

std::string encode_undo_steps(std::span<const UndoStep> steps) {
  std::string text;
  for (const UndoStep& step : steps) text += (text.empty() ? "" : "\n") + undo_step_line(step, false);
  return text;
}

bool decode_undo_steps(std::string_view text, std::vector<UndoStep>& steps) {
  steps.clear();
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    UndoStep step;
    if (!decode_step(text.substr(0, end), step)) return false;
    steps.push_back(std::move(step));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return true;
}

const std::string& select_row_sql(const PolicyTable& table) {
  static const SqlByTable selects = for_every_table(select_sql);
  return selects.at(&table);
}

std::string select_rows_where_sql(const PolicyTable& table, std::string_view column) {
  return "SELECT " + sql_columns(table, column_names(table).size()) + " FROM " + sql_name(table.name) + " WHERE " +
         sql_name(column) + " = ?";
}

const std::string& apply_step_sql(const UndoStep& step) {
  static const SqlByTable restores = for_every_table(restore_sql);
  static const SqlByTable removes = for_every_table(remove_sql);
  return (step.kind == UndoStep::Kind::restore ? restores : removes).at(step.table);
}

}  // namespace kx
