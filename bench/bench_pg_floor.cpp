#include "bench_pg_floor.h"

#include "bench_support.h"

namespace bench {

PgFloor::PgFloor(const std::string& uri) : conn_(PQconnectdb(uri.c_str())) {
  if (PQstatus(conn_) != CONNECTION_OK) fail(std::string("floor: ") + PQerrorMessage(conn_));
  exec("SET client_min_messages = warning");
  exec("DROP TABLE IF EXISTS bench_floor");
  exec("CREATE TABLE bench_floor(id BIGINT PRIMARY KEY, v TEXT NOT NULL)");
  for (const auto& [name, sql] : {std::pair{"floor_insert", "INSERT INTO bench_floor(id, v) VALUES($1, 'row')"},
                                  std::pair{"floor_delete", "DELETE FROM bench_floor WHERE id = $1"}}) {
    PGresult* result = PQprepare(conn_, name, sql, 1, nullptr);
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    if (!ok) fail(std::string("floor: ") + PQerrorMessage(conn_));
  }
}

PgFloor::~PgFloor() {
  exec("DROP TABLE IF EXISTS bench_floor");
  PQfinish(conn_);
}

std::string PgFloor::setting(const char* name) {
  PGresult* result = PQexec(conn_, (std::string("SHOW ") + name).c_str());
  std::string value = PQresultStatus(result) == PGRES_TUPLES_OK ? PQgetvalue(result, 0, 0) : "?";
  PQclear(result);
  return value;
}

void PgFloor::exec(const std::string& sql) {
  PGresult* result = PQexec(conn_, sql.c_str());
  const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
  PQclear(result);
  if (!ok) fail("floor: " + sql + ": " + PQerrorMessage(conn_));
}

void PgFloor::one_row_transactions(const char* statement, std::size_t first, std::size_t rows) {
  for (std::size_t i = first; i < first + rows; ++i) {
    const std::string id = std::to_string(i);
    const char* const values[] = {id.c_str()};
    PGresult* result = PQexecPrepared(conn_, statement, 1, values, nullptr, nullptr, 0);
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK && std::string(PQcmdTuples(result)) == "1";
    PQclear(result);
    if (!ok) fail(std::string("floor: ") + PQerrorMessage(conn_));
  }
}

}  // namespace bench
