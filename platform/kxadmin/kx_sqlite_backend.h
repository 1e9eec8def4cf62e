// The SQLite backend: the store is one database file in WAL mode that
// several processes (the hosts of a site) open at once.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "kx_backend.h"

namespace kx {

// Opens the store file at `path`, which must exist.
std::unique_ptr<Backend> open_sqlite_store(const std::string& path, std::string& error, bool read_only = false);

// Makes an empty store file (mode 0600, parent directories as needed).
std::unique_ptr<Backend> create_sqlite_store(const std::string& path, bool replace, bool& exists, std::string& error);

// The SQLite table definitions, one script per schema version
// (kx_sqlite_schema.cpp).
std::span<const char* const> sqlite_schema_steps();

}  // namespace kx
