#include "kx_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "kx_password.h"
#include "kx_schema.h"

namespace kx {
namespace {

// Several hosts may configure at once against one store; a writer waits
// this long for another to finish before giving up.
constexpr int BUSY_TIMEOUT_MS = 60000;

bool path_exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// The store holds password hashes: only its owner may read it.  SQLite
// gives the -wal and -shm files the same mode.
bool make_private_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
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

}  // namespace

Outcome success() { return {}; }

Outcome failure(std::uint32_t code, std::string message) { return Outcome{code, 0, std::move(message)}; }

Outcome Store::store_error() const { return failure(CODE_STORE_ERROR, "policy store failure: " + db_.error_text()); }

bool Store::configure_connection(Outcome& error) {
  const std::string pragmas = "PRAGMA busy_timeout = " + std::to_string(BUSY_TIMEOUT_MS) + "; PRAGMA foreign_keys = ON;";
  if (db_.exec(pragmas.c_str())) return true;
  error = failure(CODE_STORE_UNAVAILABLE, "policy store " + path_ + " cannot be used: " + db_.error_text());
  return false;
}

std::unique_ptr<Store> Store::open(const std::string& path, Outcome& error) {
  std::unique_ptr<Store> store(new Store(path));
  if (!store->db_.open(path, false)) {
    error = failure(CODE_STORE_UNAVAILABLE, "policy store " + path + " cannot be opened: " + store->db_.error_text());
    return nullptr;
  }
  if (!store->configure_connection(error)) return nullptr;
  std::optional<std::string> version;
  const Outcome read = store->query("SELECT value FROM meta WHERE key = 'schema_version'", {},
                                    [&](const Statement& row) { version = row.text(0); });
  if (!read.ok() || version != SCHEMA_VERSION) {
    error = failure(CODE_STORE_UNAVAILABLE, "policy store " + path + " is not a policy store of this version" +
                                                (read.ok() ? "" : ": " + store->db_.error_text()));
    return nullptr;
  }
  return store;
}

std::unique_ptr<Store> Store::create(const std::string& path, std::string_view sec_master_password, bool replace,
                                     Outcome& error) {
  const std::optional<std::string> hash = hash_password(sec_master_password);
  if (!hash) {
    error = failure(CODE_BAD_ARGUMENT, "the security master password cannot be hashed");
    return nullptr;
  }
  if (path_exists(path)) {
    if (!replace) {
      error = failure(CODE_EXISTS, "policy store " + path + " already exists");
      return nullptr;
    }
    remove_store_files(path);
  }
  std::unique_ptr<Store> store(new Store(path));
  if (!make_parent_directory(path) || !make_private_file(path)) {
    error = failure(CODE_STORE_UNAVAILABLE, "policy store " + path + " cannot be created: " + std::strerror(errno));
    return nullptr;
  }
  if (!store->db_.open(path, false)) {
    error = failure(CODE_STORE_UNAVAILABLE, "policy store " + path + " cannot be created: " + store->db_.error_text());
    return nullptr;
  }
  // WAL lets readers go on while one host writes; the mode stays with the file.
  const bool made = store->db_.exec("PRAGMA journal_mode = WAL") && store->configure_connection(error) &&
                    store->db_.exec(SCHEMA_SQL) &&
                    store->run("INSERT INTO meta(key, value) VALUES('schema_version', ?)", {SCHEMA_VERSION}).ok() &&
                    store->run("INSERT INTO sec_master(password_hash) VALUES(?)", {std::string_view(*hash)}).ok();
  if (!made) {
    error = failure(CODE_STORE_UNAVAILABLE, "policy store " + path + " cannot be created: " + store->db_.error_text());
    store.reset();
    remove_store_files(path);
    return nullptr;
  }
  return store;
}

bool Store::sec_master_password_matches(std::string_view password) {
  std::optional<std::string> hash;
  const Outcome read =
      query("SELECT password_hash FROM sec_master", {}, [&](const Statement& row) { hash = row.text(0); });
  return read.ok() && hash && password_matches(password, *hash);
}

Outcome Store::write(const std::function<Outcome()>& change) { return call({}, std::nullopt, change); }

Outcome Store::read(const std::function<Outcome()>& query_fn) {
  if (!db_.exec("BEGIN")) return store_error();
  Outcome result = query_fn();
  db_.exec("COMMIT");
  return result;
}

// The change runs in a savepoint so that a failed change is undone while
// the consumed fault still commits.
Outcome Store::in_savepoint(const std::function<Outcome()>& change) {
  if (!db_.exec("SAVEPOINT kx_change")) return store_error();
  Outcome result = change();
  if (!result.ok()) db_.exec("ROLLBACK TO kx_change");
  db_.exec("RELEASE kx_change");
  return result;
}

Outcome Store::call(std::string_view api, opt_str name, const std::function<Outcome()>& change) {
  // IMMEDIATE takes the write lock at once (waiting up to the busy timeout);
  // a deferred transaction could not wait when it upgrades later.
  if (!db_.exec("BEGIN IMMEDIATE")) return store_error();
  std::optional<Fault> fault;
  if (const Outcome taken = api.empty() ? success() : take_fault(api, name, fault); !taken.ok()) {
    db_.exec("ROLLBACK");
    return taken;
  }
  Outcome result;
  if (!fault || fault->reason == 1) result = in_savepoint(change);
  if (fault && result.ok()) {
    result = Outcome{fault->code, fault->reason, "injected fault in " + fault->api};
  }
  if (!db_.exec("COMMIT")) {
    Outcome error = store_error();
    db_.exec("ROLLBACK");
    return error;
  }
  return result;
}

}  // namespace kx
