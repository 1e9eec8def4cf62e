#include "kx_sqlite_connection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "sys_fd.h"

namespace kx {
namespace {

// Several hosts may configure at once against one store; a writer waits
// this long for another to finish before giving up.  Every commit reaches
// the disk before the call returns (synchronous FULL syncs the WAL on each
// commit).
constexpr const char* CONNECTION_SETTINGS =
    "PRAGMA busy_timeout = 60000; PRAGMA foreign_keys = ON; PRAGMA synchronous = FULL;";

bool path_exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// The store holds password hashes: only its owner may read it.  SQLite
// gives the -wal and -shm files the same mode.
bool make_private_file(const std::string& path) {
  return sys::open_fd(path, O_WRONLY | O_CREAT | O_EXCL, 0600).valid();
}

void remove_store_files(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) ::unlink((path + suffix).c_str());
}

bool make_parent_directory(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty()) return true;
  std::error_code ec;
  std::filesystem::create_directories(parent, ec);
  if (ec) errno = ec.value();
  return !ec;
}

std::string error_of(sqlite3* db, int rc) { return db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc); }

}  // namespace

std::optional<SqliteConnection> SqliteConnection::connect(const std::string& path, std::string& error,
                                                          bool read_only) {
  sqlite3* raw = nullptr;
  // A connection belongs to one store object, used by one thread at a time,
  // so SQLite need not lock it around every call.
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  // sqlite hands back a handle even on failure; it carries the reason.
  SqliteConnection conn(path, raw);
  if (rc != SQLITE_OK) {
    error = error_of(raw, rc);
    return std::nullopt;
  }
  sqlite3_extended_result_codes(raw, 1);
  // A connection opened with SQLITE_OPEN_READONLY could not remove the WAL
  // files it made when it closes, and would leave them behind; this one
  // refuses every change instead, and the last connection to close still
  // removes them, so a look leaves the store's folder as it was.
  const std::string settings = std::string(CONNECTION_SETTINGS) + (read_only ? " PRAGMA query_only = ON;" : "");
  if (sqlite3_exec(raw, settings.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(raw);
    return std::nullopt;
  }
  return conn;
}

std::optional<SqliteConnection> SqliteConnection::open(const std::string& path, std::string& error, bool read_only) {
  return connect(path, error, read_only);
}

std::optional<SqliteConnection> SqliteConnection::create(const std::string& path, bool replace, bool& exists,
                                                         std::string& error) {
  exists = path_exists(path);
  if (exists && !replace) return std::nullopt;
  if (exists) remove_store_files(path);
  if (!make_parent_directory(path) || !make_private_file(path)) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  std::optional<SqliteConnection> conn = connect(path, error);
  // WAL lets readers go on while one host writes; the mode stays with the file.
  if (conn && sqlite3_exec(conn->db(), "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(conn->db());
    conn.reset();
  }
  if (!conn) remove_store_files(path);
  return conn;
}

void SqliteConnection::close_and_remove() {
  db_.reset();
  remove_store_files(path_);
}

}  // namespace kx
