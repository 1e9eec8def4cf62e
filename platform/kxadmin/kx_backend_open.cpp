// Which database holds the store at a location.  Today every location is
// the path of an SQLite file; another backend is chosen here, and only
// here, by the form of its location.
#include "kx_backend.h"
#include "kx_sqlite_backend.h"

namespace kx {

std::unique_ptr<Backend> open_backend(const std::string& location, std::string& error, bool read_only) {
  return open_sqlite_store(location, error, read_only);
}

std::unique_ptr<Backend> create_backend(const std::string& location, bool replace, bool& exists, std::string& error) {
  return create_sqlite_store(location, replace, exists, error);
}

}  // namespace kx
