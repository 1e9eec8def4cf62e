// The store as text, for comparing two stores or one store over time.
#include <algorithm>

#include "kx_schema.h"
#include "kx_store.h"

namespace kx {

Outcome Store::dump(std::string& text, bool undo) {
  text.clear();
  return read([&]() -> Outcome {
    for (const PolicyTable& table : policy_tables()) {
      const std::vector<std::string_view> columns = column_names(table);
      std::vector<std::string> lines;
      const std::string sql = "SELECT " + sql_columns(table, columns.size()) + " FROM " + sql_name(table.name);
      Outcome r = query(sql, {}, [&](const Row& row) {
        std::string line(table.name);
        for (std::size_t col = 0; col < columns.size(); ++col) {
          const RowValue value = value_at(row, static_cast<int>(col));
          const bool masked = columns[col] == table.masked_column && std::holds_alternative<std::string>(value);
          line += " " + std::string(columns[col]) + "=" + (masked ? "<hash>" : render(value));
        }
        lines.push_back(std::move(line));
      });
      if (!r.ok()) return r;
      std::sort(lines.begin(), lines.end());
      for (const std::string& line : lines) text += line + "\n";
    }
    return undo ? dump_undo(text) : success();
  });
}

}  // namespace kx
