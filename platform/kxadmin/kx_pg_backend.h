// The PostgreSQL backend: the store is the tables of one database (in the
// connection's current schema), reached with libpq through a
// "postgresql://" URI, and shared by every host of a site.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "kx_backend.h"

namespace kx {

// Connects to the database the URI names (kx_pg_location.h says which URIs
// are refused); it must hold a store.  A read-only backend's transactions
// are all READ ONLY.
std::unique_ptr<Backend> open_pg_store(const std::string& uri, std::string& error, bool read_only = false);

// Connects to the database the URI names, which must exist; `exists` when
// it holds a store already.  With `replace` the old store's tables are
// dropped in the same transaction that makes the new ones.
std::unique_ptr<Backend> create_pg_store(const std::string& uri, bool replace, bool& exists, std::string& error);

// The PostgreSQL table definitions, one script per schema version
// (kx_pg_schema.cpp).
std::span<const char* const> pg_schema_steps();

// Requests sent to a server and answered, by every PostgreSQL store of this
// process so far (for the benchmark's round trips per command).
std::uint64_t pg_round_trips();

}  // namespace kx
