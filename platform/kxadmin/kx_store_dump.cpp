// The store as text, for comparing two stores or one store over time.
#include <algorithm>
#include <cstdio>

#include "kx_schema.h"
#include "kx_store.h"

namespace kx {
namespace {

std::vector<std::string_view> split_columns(std::string_view columns) {
  std::vector<std::string_view> names;
  while (!columns.empty()) {
    const std::size_t comma = columns.find(", ");
    names.push_back(columns.substr(0, comma));
    columns = comma == std::string_view::npos ? std::string_view() : columns.substr(comma + 2);
  }
  return names;
}

// Quoted so that blanks, quotes and line breaks inside a value cannot make
// two different stores dump alike.
std::string quote(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7f) {
      static constexpr char HEX[] = "0123456789abcdef";
      out += "\\x";
      out += HEX[byte >> 4];
      out += HEX[byte & 0xf];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string render(const Statement& row, int col, bool masked) {
  switch (row.type(col)) {
    case SQLITE_NULL:
      return "none";
    case SQLITE_INTEGER:
      return std::to_string(row.integer(col));
    default:
      return masked ? "<hash>" : quote(row.text(col).value_or(""));
  }
}

}  // namespace

Outcome Store::dump(std::string& text) {
  text.clear();
  return read([&]() -> Outcome {
    for (const DumpTable& table : dump_tables()) {
      const std::vector<std::string_view> columns = split_columns(table.columns);
      std::vector<std::string> lines;
      const std::string sql = "SELECT " + std::string(table.columns) + " FROM " + std::string(table.name);
      Outcome r = query(sql, {}, [&](const Statement& row) {
        std::string line(table.name);
        for (std::size_t col = 0; col < columns.size(); ++col) {
          line += " " + std::string(columns[col]) + "=" +
                  render(row, static_cast<int>(col), columns[col] == table.masked_column);
        }
        lines.push_back(std::move(line));
      });
      if (!r.ok()) return r;
      std::sort(lines.begin(), lines.end());
      for (const std::string& line : lines) text += line + "\n";
    }
    return success();
  });
}

}  // namespace kx
