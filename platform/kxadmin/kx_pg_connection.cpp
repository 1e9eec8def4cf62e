#include "kx_pg_connection.h"

#include <string_view>

#include "kx_pg_location.h"

namespace kx {
namespace {

// A call waits this long for another client's row locks, as an SQLite
// store waits for another writer; a serialization failure is retried by
// the store.  Names are bytes: the database keeps them as given
// (SQL_ASCII) and the client asks for no conversion.
constexpr const char* SESSION_SETTINGS = "SET lock_timeout = '60s'";

// Notices (a table that "does not exist, skipping") are not errors: libpq
// would print them on the program's standard error.
void ignore_notice(void*, const char*) {}

}  // namespace

std::string connection_error(const PGconn* conn) {
  if (conn == nullptr) return "out of memory";
  std::string text = PQerrorMessage(conn);
  if (const std::size_t end = text.find('\n'); end != std::string::npos) text.resize(end);
  return text;
}

bool PgConnection::set_up(std::string& error) {
  PQsetNoticeProcessor(conn_.get(), ignore_notice, nullptr);
  const char* encoding = PQparameterStatus(conn_.get(), "server_encoding");
  if (encoding == nullptr || std::string_view(encoding) != "SQL_ASCII") {
    error = std::string("the database has encoding ") + (encoding != nullptr ? encoding : "unknown") +
            "; a policy store needs SQL_ASCII, which keeps names as the bytes they are";
    return false;
  }
  PGresult* result = PQexec(conn_.get(), SESSION_SETTINGS);
  const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
  PQclear(result);
  if (!ok) error = connection_error(conn_.get());
  return ok;
}

std::optional<PgConnection> PgConnection::connect(const std::string& uri, std::string& error) {
  if (std::optional<std::string> refused = refused_store_uri(uri)) {
    error = *refused;
    return std::nullopt;
  }
  // Defaults first: what the URI says itself takes their place.
  const char* const keywords[] = {"connect_timeout", "fallback_application_name", "client_encoding", "dbname",
                                  nullptr};
  const char* const values[] = {"30", "kxadmin", "SQL_ASCII", uri.c_str(), nullptr};
  PgConnection conn(PQconnectdbParams(keywords, values, 1));
  if (conn.get() == nullptr || PQstatus(conn.get()) != CONNECTION_OK) {
    error = connection_error(conn.get());
    return std::nullopt;
  }
  if (!conn.set_up(error)) return std::nullopt;
  return conn;
}

bool PgConnection::reconnect(std::string& error) {
  PQreset(conn_.get());
  if (PQstatus(conn_.get()) != CONNECTION_OK) {
    error = connection_error(conn_.get());
    return false;
  }
  return set_up(error);
}

}  // namespace kx
