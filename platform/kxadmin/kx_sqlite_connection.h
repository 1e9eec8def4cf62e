// One connection to a store file: opening, creating and removing the file
// and the settings every connection needs.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <string>

namespace kx {

class SqliteConnection {
 public:
  static std::optional<SqliteConnection> open(const std::string& path, std::string& error, bool read_only = false);
  static std::optional<SqliteConnection> create(const std::string& path, bool replace, bool& exists,
                                                std::string& error);

  sqlite3* db() const { return db_.get(); }
  // Closes the connection and deletes the store file with its WAL files.
  void close_and_remove();

 private:
  struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  SqliteConnection(std::string path, sqlite3* db) : path_(std::move(path)), db_(db) {}
  static std::optional<SqliteConnection> connect(const std::string& path, std::string& error, bool read_only = false);

  std::string path_;
  std::unique_ptr<sqlite3, Closer> db_;
};

}  // namespace kx
