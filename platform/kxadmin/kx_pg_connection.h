// One connection to a PostgreSQL store: the checks of its URI, the session
// settings every connection needs, and a new connection after the old one
// was lost.
#pragma once

#include <libpq-fe.h>

#include <memory>
#include <optional>
#include <string>

namespace kx {

class PgConnection {
 public:
  // None, with the reason, when the URI is refused or the server cannot be
  // reached; the reason never shows credentials.
  static std::optional<PgConnection> connect(const std::string& uri, std::string& error);

  PGconn* get() const { return conn_.get(); }
  bool lost() const { return PQstatus(conn_.get()) == CONNECTION_BAD; }
  // Connects again with the same parameters (server-side state such as
  // prepared statements is gone); false with the reason when it cannot.
  bool reconnect(std::string& error);

 private:
  struct Finish {
    void operator()(PGconn* conn) const { PQfinish(conn); }
  };
  explicit PgConnection(PGconn* conn) : conn_(conn) {}
  bool set_up(std::string& error);

  std::unique_ptr<PGconn, Finish> conn_;
};

// The first line of libpq's message about the connection.
std::string connection_error(const PGconn* conn);

}  // namespace kx
