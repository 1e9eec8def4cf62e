// The floor of the policy store's benchmark on PostgreSQL: one-row durable
// transactions over the same connection URI as the store, each a single
// prepared statement that commits on its own (one round trip), the least a
// client can do for one durable change.
#pragma once

#include <libpq-fe.h>

#include <cstddef>
#include <string>

namespace bench {

class PgFloor {
 public:
  // A table of its own in the store's database, emptied first.
  explicit PgFloor(const std::string& uri);
  ~PgFloor();
  PgFloor(const PgFloor&) = delete;
  PgFloor& operator=(const PgFloor&) = delete;

  // Seconds of wall and CPU time, as the SQLite floor gives them.
  void insert_rows(std::size_t first, std::size_t rows) { one_row_transactions("floor_insert", first, rows); }
  void delete_rows(std::size_t first, std::size_t rows) { one_row_transactions("floor_delete", first, rows); }
  // A server setting (SHOW name).
  std::string setting(const char* name);

 private:
  void exec(const std::string& sql);
  void one_row_transactions(const char* statement, std::size_t first, std::size_t rows);

  PGconn* conn_ = nullptr;
};

}  // namespace bench
