// The narrow interface between the policy store's rules (kx_store.h) and the
// database that holds it.  The store speaks a small common SQL ("?" markers,
// quoted identifiers, ON CONFLICT, RETURNING) that SQLite and PostgreSQL
// both accept; a backend prepares, runs and caches those statements, keeps
// transactions, and owns what differs between databases: where the store
// lives, how it is created and its table definitions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace kx {

using opt_str = std::optional<std::string_view>;

// A statement argument: text (none binds NULL) or an integer.
using SqlArg = std::variant<opt_str, std::int64_t>;

// One result row, valid only inside the callback that receives it.
class Row {
 public:
  virtual int column_count() const = 0;
  virtual bool is_null(int col) const = 0;
  virtual bool is_integer(int col) const = 0;
  // None for NULL.
  virtual std::optional<std::string> text(int col) const = 0;
  virtual std::int64_t integer(int col) const = 0;

 protected:
  ~Row() = default;
};
using RowFn = std::function<void(const Row&)>;

// How a statement ended.  `constraint` (a key or reference the statement
// would break) lets the store tell a refused row from a failed database;
// `conflict` (a serialization failure or deadlock between transactions of
// different clients) ends the transaction, and running the call again may
// succeed.
enum class DbStatus { ok, busy, constraint, conflict, failed };

class Backend {
 public:
  virtual ~Backend() = default;

  // A write transaction takes the store's write lock at once, waiting up to
  // the busy timeout for another writer; a read transaction sees one
  // consistent state.  commit and rollback end either.
  [[nodiscard]] virtual DbStatus begin_write() = 0;
  [[nodiscard]] virtual DbStatus begin_read() = 0;
  [[nodiscard]] virtual DbStatus commit() = 0;
  virtual void rollback() = 0;

  // Runs one statement, prepared once per connection and reused, calling
  // `row` (when given) for each result row.  Statements may nest: a
  // callback may run others.
  [[nodiscard]] virtual DbStatus execute(std::string_view sql, std::span<const SqlArg> args, const RowFn& row) = 0;
  // Rows changed by the last INSERT, UPDATE or DELETE.
  virtual std::int64_t changes() const = 0;
  // Why the last statement or open failed.
  virtual std::string error_text() const = 0;
  // Whether the transaction begun last has met a conflict with another
  // client's (DbStatus::conflict): the store then runs the whole call again.
  virtual bool met_conflict() const = 0;
  // The store's clock in milliseconds since the epoch: the database
  // server's own where there is one, so that every client of a shared
  // store reads the same time.
  [[nodiscard]] virtual DbStatus clock_ms(std::int64_t& ms) = 0;

  // The database's own table definitions: step i brings a store of schema
  // version i to version i + 1 (step 0 makes the first tables).
  virtual std::span<const char* const> schema_steps() const = 0;
  // Runs `change` (schema steps and statements) as one write transaction in
  // which a step may rebuild tables; it commits when `change` returns true
  // and the references between tables still hold.
  [[nodiscard]] virtual DbStatus schema_transaction(const std::function<bool()>& change) = 0;
  // Runs a script of several statements (a schema step), inside
  // schema_transaction.
  [[nodiscard]] virtual DbStatus run_script(const char* sql) = 0;
  // Removes a store that create_backend made and the caller could not
  // finish.
  virtual void erase_store() = 0;
};

// Opens the existing store at `location` (a "postgresql://" URI for
// PostgreSQL, else the path of an SQLite file); none and the reason in
// `error` when it cannot.  A read-only backend refuses every change to the
// store's contents.
std::unique_ptr<Backend> open_backend(const std::string& location, std::string& error, bool read_only = false);

// Makes an empty store location with no tables yet.  An existing store is
// replaced only when `replace` is set; otherwise `exists` is set and none
// is returned.
std::unique_ptr<Backend> create_backend(const std::string& location, bool replace, bool& exists, std::string& error);

// The location as messages and logs show it: without credentials.
std::string shown_location(const std::string& location);

}  // namespace kx
