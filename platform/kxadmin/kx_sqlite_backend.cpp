#include "kx_sqlite_backend.h"

#include <sqlite3.h>

#include <chrono>
#include <unordered_map>

#include "kx_sqlite_connection.h"

namespace kx {
namespace {

class SqliteRow final : public Row {
 public:
  explicit SqliteRow(sqlite3_stmt* stmt) : stmt_(stmt) {}
  int column_count() const override { return sqlite3_column_count(stmt_); }
  bool is_null(int col) const override { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
  bool is_integer(int col) const override { return sqlite3_column_type(stmt_, col) == SQLITE_INTEGER; }
  std::optional<std::string> text(int col) const override {
    const unsigned char* value = sqlite3_column_text(stmt_, col);
    if (value == nullptr) return std::nullopt;
    const int size = sqlite3_column_bytes(stmt_, col);
    return std::string(reinterpret_cast<const char*>(value), static_cast<std::size_t>(size));
  }
  std::int64_t integer(int col) const override { return sqlite3_column_int64(stmt_, col); }

 private:
  sqlite3_stmt* stmt_;
};

DbStatus status_of(int rc) {
  switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return DbStatus::ok;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return DbStatus::busy;
    case SQLITE_CONSTRAINT:
      return DbStatus::constraint;
    default:
      return DbStatus::failed;
  }
}

struct StringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// A prepared statement in use is marked, so that a statement run again
// from inside its own row callback gets a fresh one instead.
struct CachedStatement {
  sqlite3_stmt* stmt = nullptr;
  bool in_use = false;
};

// Leaves a statement ready for its next use whatever way execute ends.
// Resetting also ends the statement's read of the database, which would
// otherwise keep old WAL frames alive.
class StatementUse {
 public:
  StatementUse(sqlite3_stmt* stmt, CachedStatement* cached) : stmt_(stmt), cached_(cached) {
    if (cached_ != nullptr) cached_->in_use = true;
  }
  ~StatementUse() {
    if (cached_ == nullptr) {
      sqlite3_finalize(stmt_);
      return;
    }
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    cached_->in_use = false;
  }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;

 private:
  sqlite3_stmt* stmt_;
  CachedStatement* cached_;
};

class SqliteBackend final : public Backend {
 public:
  explicit SqliteBackend(SqliteConnection connection) : conn_(std::move(connection)) {}
  ~SqliteBackend() override {
    for (auto& [sql, cached] : cache_) sqlite3_finalize(cached.stmt);
  }

  DbStatus begin_write() override { return execute("BEGIN IMMEDIATE", {}, nullptr); }
  DbStatus begin_read() override { return execute("BEGIN", {}, nullptr); }
  DbStatus commit() override { return execute("COMMIT", {}, nullptr); }
  void rollback() override {
    // Without an open transaction (a failed BEGIN) there is nothing to undo.
    if (sqlite3_get_autocommit(conn_.db()) == 0) (void)execute("ROLLBACK", {}, nullptr);
  }

  DbStatus execute(std::string_view sql, std::span<const SqlArg> args, const RowFn& row) override;
  std::int64_t changes() const override { return sqlite3_changes64(conn_.db()); }
  std::string error_text() const override { return error_; }
  // One writer at a time (BEGIN IMMEDIATE): transactions never conflict.
  bool met_conflict() const override { return false; }
  // A file has no clock of its own; the hosts sharing it share this machine's.
  DbStatus clock_ms(std::int64_t& ms) override {
    ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
             .count();
    return DbStatus::ok;
  }

  std::span<const char* const> schema_steps() const override { return sqlite_schema_steps(); }
  DbStatus run_script(const char* sql) override {
    const int rc = sqlite3_exec(conn_.db(), sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) error_ = sqlite3_errmsg(conn_.db());
    return status_of(rc);
  }
  DbStatus schema_transaction(const std::function<bool()>& change) override;
  void erase_store() override {
    for (auto& [sql, cached] : cache_) sqlite3_finalize(cached.stmt);
    cache_.clear();
    conn_.close_and_remove();
  }

 private:
  // The cached statement for `sql`, or a fresh one (owned by the caller)
  // when the cached one is busy; none when it does not prepare.
  sqlite3_stmt* statement(std::string_view sql, CachedStatement*& cached);
  bool bind(sqlite3_stmt* stmt, std::span<const SqlArg> args);
  DbStatus failed(int rc) {
    error_ = sqlite3_errmsg(conn_.db());
    return status_of(rc);
  }

  SqliteConnection conn_;
  std::unordered_map<std::string, CachedStatement, StringHash, std::equal_to<>> cache_;
  std::string error_;
};

sqlite3_stmt* SqliteBackend::statement(std::string_view sql, CachedStatement*& cached) {
  cached = nullptr;
  auto found = cache_.find(sql);
  if (found != cache_.end() && !found->second.in_use) {
    cached = &found->second;
    return cached->stmt;
  }
  sqlite3_stmt* stmt = nullptr;
  const int rc = sqlite3_prepare_v3(conn_.db(), sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                    &stmt, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return nullptr;
  }
  if (found == cache_.end()) {
    cached = &cache_.emplace(std::string(sql), CachedStatement{stmt, false}).first->second;
  }
  return stmt;
}

bool SqliteBackend::bind(sqlite3_stmt* stmt, std::span<const SqlArg> args) {
  int pos = 1;
  for (const SqlArg& arg : args) {
    int rc = SQLITE_OK;
    if (const auto* text = std::get_if<opt_str>(&arg)) {
      // The arguments outlive the statement's use (it is reset before
      // execute returns), so SQLite need not copy them.  A view with no
      // data is still text, not NULL.
      rc = !*text ? sqlite3_bind_null(stmt, pos)
                  : sqlite3_bind_text64(stmt, pos, (*text)->data() != nullptr ? (*text)->data() : "", (*text)->size(),
                                        SQLITE_STATIC, SQLITE_UTF8);
    } else {
      rc = sqlite3_bind_int64(stmt, pos, std::get<std::int64_t>(arg));
    }
    if (rc != SQLITE_OK) return false;
    ++pos;
  }
  return true;
}

DbStatus SqliteBackend::execute(std::string_view sql, std::span<const SqlArg> args, const RowFn& row) {
  CachedStatement* cached = nullptr;
  sqlite3_stmt* stmt = statement(sql, cached);
  if (stmt == nullptr) return failed(sqlite3_errcode(conn_.db()));
  const StatementUse use(stmt, cached);
  if (!bind(stmt, args)) return failed(sqlite3_errcode(conn_.db()));
  int rc = SQLITE_ROW;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    if (row) row(SqliteRow(stmt));
  }
  if (rc != SQLITE_DONE) return failed(rc);
  return DbStatus::ok;
}

// SQLite rebuilds a table by dropping it, which with foreign keys on would
// first delete its rows and set off their actions on other tables; so they
// are off around the transaction (the setting cannot change inside one), and
// foreign_key_check proves before the commit that no reference broke.
DbStatus SqliteBackend::schema_transaction(const std::function<bool()>& change) {
  if (DbStatus s = run_script("PRAGMA foreign_keys = OFF"); s != DbStatus::ok) return s;
  DbStatus status = begin_write();
  if (status == DbStatus::ok) {
    bool broken = false;
    const bool changed = change();
    if (changed) status = execute("PRAGMA foreign_key_check", {}, [&](const Row&) { broken = true; });
    if (changed && status == DbStatus::ok && !broken) {
      status = commit();
    } else {
      if (broken) error_ = "the schema change would break references between tables";
      status = status == DbStatus::ok ? DbStatus::failed : status;
    }
  }
  const std::string error = error_;
  rollback();
  const DbStatus restored = run_script("PRAGMA foreign_keys = ON");
  error_ = error;
  return status != DbStatus::ok ? status : restored;
}

}  // namespace

std::unique_ptr<Backend> open_sqlite_store(const std::string& path, std::string& error, bool read_only) {
  std::optional<SqliteConnection> conn = SqliteConnection::open(path, error, read_only);
  if (!conn) return nullptr;
  return std::make_unique<SqliteBackend>(std::move(*conn));
}

std::unique_ptr<Backend> create_sqlite_store(const std::string& path, bool replace, bool& exists, std::string& error) {
  std::optional<SqliteConnection> conn = SqliteConnection::create(path, replace, exists, error);
  if (!conn) return nullptr;
  return std::make_unique<SqliteBackend>(std::move(*conn));
}

}  // namespace kx
