// Stores for tests on both backends: an SQLite file in a scratch folder,
// or a database of its own in the throwaway PostgreSQL cluster of the tests
// (scripts/pg-test-cluster, started by the CTest fixture pg_cluster).
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace kxtest {

enum class Backend { sqlite, postgresql };

inline auto all_backends() { return ::testing::Values(Backend::sqlite, Backend::postgresql); }
std::string backend_name(Backend backend);
// For INSTANTIATE_TEST_SUITE_P: "sqlite" or "postgresql".
struct BackendName {
  std::string operator()(const ::testing::TestParamInfo<Backend>& info) const { return backend_name(info.param); }
};

// The folder of the test cluster's socket: $ZARN_PG_SOCKET, else the one
// the CTest fixture recorded beside the build; empty when there is none.
std::string pg_socket_dir();

// A database of its own in the test cluster (or in the cluster whose
// socket is in `socket_dir`), owned by the role zarn_store, removed with
// everything in it (connections too) at the end.
class PgDatabase {
 public:
  explicit PgDatabase(std::string socket_dir = pg_socket_dir());
  ~PgDatabase();
  PgDatabase(const PgDatabase&) = delete;
  PgDatabase& operator=(const PgDatabase&) = delete;

  // Empty when the database could not be made (see error()).
  const std::string& name() const { return name_; }
  const std::string& error() const { return error_; }
  // The store's URI, as the role `user`, with `extra` parameters.
  std::string uri(const std::string& user = "zarn_store", const std::string& extra = "") const;
  // Runs SQL as the cluster's superuser in this database; false with
  // error() when it fails.
  bool admin(const std::string& sql);
  // Keeps a copy of the database as it is now, and puts it back (ending
  // every session of the database first); false with error() on failure.
  bool save();
  bool restore();

 private:
  std::string socket_;
  std::string name_;
  std::string saved_;
  std::string error_;
};

// Where a test's store lives: `file` in `folder` for SQLite, a database of
// its own for PostgreSQL.
class StoreSpot {
 public:
  StoreSpot(Backend backend, const std::string& folder, const std::string& file);
  const std::string& location() const { return location_; }
  // Why no PostgreSQL database could be made, else empty.
  std::string problem() const;
  PgDatabase* database() { return database_.get(); }

 private:
  std::unique_ptr<PgDatabase> database_;
  std::string location_;
};

}  // namespace kxtest
