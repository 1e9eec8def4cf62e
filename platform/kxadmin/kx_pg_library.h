// libpq, loaded when a store on PostgreSQL is first reached.
//
// Linked in the ordinary way, libpq and the libraries it brings (TLS,
// Kerberos, LDAP and theirs) are mapped and relocated at the start of every
// program that holds a store, about 2.5 ms of CPU a start, though most runs
// use a store in SQLite.  So the programs do not link it: the PQ functions
// the store calls are defined in kx_pg_library.cpp, and each passes the
// call on to libpq's own, which that file loads at the first call.  Where
// libpq cannot be loaded, parsing a store's URI fails with the reason, and
// nothing else of libpq is reached.
#pragma once

#include <string>

namespace kx {

// The library file loaded.
inline constexpr const char* kPgLibraryFile = "libpq.so.5";

struct PgLibrary {
  void* handle = nullptr;  // nothing when the file could not be loaded
  std::string error;       // then why
};

// Loads `file`: its handle, else why it could not be loaded.
PgLibrary load_pg_library(const char* file);

// kPgLibraryFile, loaded at the first call only: later calls give the same.
const PgLibrary& pg_library();

}  // namespace kx
