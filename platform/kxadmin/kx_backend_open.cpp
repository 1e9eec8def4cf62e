// Which database holds the store at a location: a "postgresql://" URI
// names a PostgreSQL database, anything else the path of an SQLite file.
// A backend is chosen here, and only here.
#include "kx_backend.h"
#include "kx_pg_backend.h"
#include "kx_pg_location.h"
#include "kx_sqlite_backend.h"

namespace kx {

std::unique_ptr<Backend> open_backend(const std::string& location, std::string& error, bool read_only) {
  if (is_postgresql_location(location)) return open_pg_store(location, error, read_only);
  return open_sqlite_store(location, error, read_only);
}

std::unique_ptr<Backend> create_backend(const std::string& location, bool replace, bool& exists, std::string& error) {
  if (is_postgresql_location(location)) return create_pg_store(location, replace, exists, error);
  return create_sqlite_store(location, replace, exists, error);
}

std::string shown_location(const std::string& location) {
  return is_postgresql_location(location) ? uri_without_credentials(location) : location;
}

}  // namespace kx
