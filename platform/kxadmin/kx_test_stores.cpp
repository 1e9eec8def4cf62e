#include "kx_test_stores.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <utility>

namespace kxtest {
namespace {

struct Finish {
  void operator()(PGconn* conn) const { PQfinish(conn); }
};

// A connection to `database` as the superuser; `error` when it fails.
std::unique_ptr<PGconn, Finish> superuser(const std::string& socket, const std::string& database,
                                          std::string& error) {
  if (socket.empty()) {
    error = "no PostgreSQL test cluster: run the tests through ctest (fixture pg_cluster) or set ZARN_PG_SOCKET "
            "(scripts/pg-test-cluster)";
    return nullptr;
  }
  const char* const keywords[] = {"host", "user", "dbname", nullptr};
  const char* const values[] = {socket.c_str(), "postgres", database.c_str(), nullptr};
  std::unique_ptr<PGconn, Finish> conn(PQconnectdbParams(keywords, values, 0));
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    error = PQerrorMessage(conn.get());
    return nullptr;
  }
  return conn;
}

bool run_sql(PGconn* conn, const std::string& sql, std::string& error) {
  PGresult* result = PQexec(conn, sql.c_str());
  const ExecStatusType status = PQresultStatus(result);
  const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  if (!ok) error = PQresultErrorMessage(result);
  PQclear(result);
  return ok;
}

std::string unique_database_name() {
  static std::atomic<int> counter{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return "kxt_" + std::to_string(::getpid()) + "_" + std::to_string(++counter) + "_" +
         std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(now).count() % 1000000);
}

}  // namespace

std::string backend_name(Backend backend) { return backend == Backend::sqlite ? "sqlite" : "postgresql"; }

std::string pg_socket_dir() {
  if (const char* socket = std::getenv("ZARN_PG_SOCKET"); socket != nullptr && *socket != '\0') return socket;
  std::ifstream state(KX_PG_STATE_FILE);
  std::string folder;
  std::getline(state, folder);
  return folder;
}

PgDatabase::PgDatabase(std::string socket_dir) : socket_(std::move(socket_dir)) {
  auto conn = superuser(socket_, "postgres", error_);
  if (!conn) return;
  const std::string name = unique_database_name();
  if (run_sql(conn.get(), "CREATE DATABASE " + name + " OWNER zarn_store", error_)) name_ = name;
}

PgDatabase::~PgDatabase() {
  std::string error;
  auto conn = superuser(socket_, "postgres", error);
  if (!conn) return;
  for (const std::string& name : {name_, saved_}) {
    if (!name.empty()) (void)run_sql(conn.get(), "DROP DATABASE " + name + " WITH (FORCE)", error);
  }
}

// A database is copied from a template that no session uses.
bool PgDatabase::save() {
  auto conn = superuser(socket_, "postgres", error_);
  if (!conn) return false;
  const std::string copy = name_ + "_saved";
  return (saved_.empty() || run_sql(conn.get(), "DROP DATABASE " + saved_ + " WITH (FORCE)", error_)) &&
         run_sql(conn.get(), "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" + name_ + "'",
                 error_) &&
         run_sql(conn.get(), "CREATE DATABASE " + copy + " TEMPLATE " + name_ + " OWNER zarn_store", error_) &&
         (saved_ = copy, true);
}

bool PgDatabase::restore() {
  if (saved_.empty()) {
    error_ = "no saved copy of " + name_;
    return false;
  }
  auto conn = superuser(socket_, "postgres", error_);
  return conn && run_sql(conn.get(), "DROP DATABASE " + name_ + " WITH (FORCE)", error_) &&
         run_sql(conn.get(), "CREATE DATABASE " + name_ + " TEMPLATE " + saved_ + " OWNER zarn_store", error_);
}

std::string PgDatabase::uri(const std::string& user, const std::string& extra) const {
  return "postgresql:///" + name_ + "?host=" + socket_ + "&user=" + user + (extra.empty() ? "" : "&" + extra);
}

bool PgDatabase::admin(const std::string& sql) {
  auto conn = superuser(socket_, name_, error_);
  return conn && run_sql(conn.get(), sql, error_);
}

StoreSpot::StoreSpot(Backend backend, const std::string& folder, const std::string& file) {
  if (backend == Backend::sqlite) {
    location_ = folder + "/" + file;
    return;
  }
  database_ = std::make_unique<PgDatabase>();
  location_ = database_->uri();
}

std::string StoreSpot::problem() const {
  if (database_ && database_->name().empty()) return database_->error();
  return "";
}

}  // namespace kxtest
