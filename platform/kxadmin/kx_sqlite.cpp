#include "kx_sqlite.h"

namespace kx {

Statement& Statement::bind(int pos, std::string_view text) {
  if (bind_rc_ == SQLITE_OK) {
    // SQLITE_TRANSIENT: the view may not outlive the statement.
    bind_rc_ = sqlite3_bind_text64(stmt_.get(), pos, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  }
  return *this;
}

Statement& Statement::bind(int pos, std::optional<std::string_view> text) {
  if (text) return bind(pos, *text);
  if (bind_rc_ == SQLITE_OK) bind_rc_ = sqlite3_bind_null(stmt_.get(), pos);
  return *this;
}

Statement& Statement::bind(int pos, std::int64_t number) {
  if (bind_rc_ == SQLITE_OK) bind_rc_ = sqlite3_bind_int64(stmt_.get(), pos, number);
  return *this;
}

int Statement::step() {
  if (bind_rc_ != SQLITE_OK) return bind_rc_;
  return sqlite3_step(stmt_.get());
}

std::optional<std::string> Statement::text(int col) const {
  const unsigned char* value = sqlite3_column_text(stmt_.get(), col);
  if (value == nullptr) return std::nullopt;
  const int size = sqlite3_column_bytes(stmt_.get(), col);
  return std::string(reinterpret_cast<const char*>(value), static_cast<std::size_t>(size));
}

std::int64_t Statement::integer(int col) const { return sqlite3_column_int64(stmt_.get(), col); }

bool Database::open(const std::string& path, bool create) {
  db_.reset();
  open_error_.clear();
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  // sqlite hands back a handle even on failure; it carries the reason.
  std::unique_ptr<sqlite3, SqliteCloser> owned(raw);
  if (rc != SQLITE_OK) {
    open_error_ = raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
    return false;
  }
  sqlite3_extended_result_codes(raw, 1);
  db_ = std::move(owned);
  return true;
}

bool Database::exec(const char* sql) {
  return sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::optional<Statement> Database::prepare(std::string_view sql) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(db_.get(), sql.data(), static_cast<int>(sql.size()), &raw, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(raw);
    return std::nullopt;
  }
  return Statement(raw);
}

std::string Database::error_text() const {
  if (!db_) return open_error_.empty() ? "store is not open" : open_error_;
  return sqlite3_errmsg(db_.get());
}

}  // namespace kx
