// Thin owning wrappers around the SQLite handles the store uses.  They report
// failures through return values: the library never throws.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kx {

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

class Statement {
 public:
  explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}

  // Binding is by 1-based position, in the order of the SQL's "?" marks.
  Statement& bind(int pos, std::string_view text);
  Statement& bind(int pos, std::optional<std::string_view> text);
  Statement& bind(int pos, std::int64_t number);
  // Stops at the first failure; the later calls then do nothing.
  bool bind_ok() const { return bind_rc_ == SQLITE_OK; }

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int step();
  std::optional<std::string> text(int col) const;
  std::int64_t integer(int col) const;
  // SQLITE_INTEGER, SQLITE_TEXT, SQLITE_NULL, ...
  int type(int col) const { return sqlite3_column_type(stmt_.get(), col); }
  int column_count() const { return sqlite3_column_count(stmt_.get()); }

 private:
  std::unique_ptr<sqlite3_stmt, StatementFinalizer> stmt_;
  int bind_rc_ = SQLITE_OK;
};

class Database {
 public:
  Database() = default;
  // Opens an existing file (create false) or creates it; the last error text
  // tells why an open failed.
  bool open(const std::string& path, bool create);
  bool exec(const char* sql);
  std::optional<Statement> prepare(std::string_view sql);
  int changes() const { return sqlite3_changes(db_.get()); }
  std::string error_text() const;

 private:
  std::unique_ptr<sqlite3, SqliteCloser> db_;
  std::string open_error_;
};

}  // namespace kx
