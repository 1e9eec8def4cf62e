#include "kx_store.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "kx_password.h"
#include "kx_schema.h"

namespace kx {
namespace {

// The version a store records: none when it records none, and `readable`
// false when its meta table cannot be read at all.
std::optional<int> schema_version_of(Store& store, bool& readable) {
  std::optional<std::string> text;
  readable = store.query("SELECT value FROM meta WHERE key = 'schema_version'", {},
                         [&](const Row& row) { text = row.text(0); })
                 .ok();
  if (!text || text->empty() || text->size() > 6 || text->find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return std::stoi(*text);
}

// Messages name the store as shown_location gives it: without credentials.
Outcome unavailable(const std::string& path, std::string_view what, const std::string& reason) {
  return failure(CODE_STORE_UNAVAILABLE, "policy store " + shown_location(path) + " " + std::string(what) +
                                             (reason.empty() ? "" : ": " + reason));
}

// A call that conflicted with another client's transaction runs again, a
// bounded number of times, after a short random pause that grows with
// each attempt so that the clients drift apart.
constexpr int CONFLICT_ATTEMPTS = 30;

void pause_before_attempt(int attempt) {
  static thread_local std::minstd_rand random(static_cast<unsigned>(::getpid()) ^
                                              static_cast<unsigned>(std::random_device{}()));
  const int ceiling_ms = 1 << std::min(attempt, 7);
  std::this_thread::sleep_for(std::chrono::microseconds(random() % (ceiling_ms * 1000)));
}

}  // namespace

Outcome success() { return {}; }

Outcome failure(std::uint32_t code, std::string message) { return Outcome{code, 0, std::move(message)}; }

Outcome Store::store_error() const { return failure(CODE_STORE_ERROR, "policy store failure: " + db_->error_text()); }

std::unique_ptr<Store> Store::open(const std::string& path, Outcome& error, bool read_only) {
  std::string reason;
  std::unique_ptr<Backend> db = open_backend(path, reason, read_only);
  if (!db) {
    error = unavailable(path, "cannot be opened", reason);
    return nullptr;
  }
  std::unique_ptr<Store> store(new Store(path, std::move(db), read_only));
  bool readable = false;
  const std::optional<int> version = schema_version_of(*store, readable);
  if (version != SCHEMA_VERSION) {
    const bool older = version && *version > 0 && *version < SCHEMA_VERSION;
    error = unavailable(path, "is not a policy store of this version",
                        older       ? "it has version " + std::to_string(*version) + " (kxadmin migrate brings it up)"
                        : readable ? ""
                                   : store->db_->error_text());
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
  bool exists = false;
  std::string reason;
  std::unique_ptr<Backend> db = create_backend(path, replace, exists, reason);
  if (!db) {
    error = exists && !replace ? failure(CODE_EXISTS, "policy store " + shown_location(path) + " already exists")
                               : unavailable(path, "cannot be created", reason);
    return nullptr;
  }
  std::unique_ptr<Store> store(new Store(path, std::move(db)));
  const Outcome made = store->schema_change([&]() -> Outcome {
    if (Outcome r = store->run_schema_steps(0); !r.ok()) return r;
    const std::string version = std::to_string(SCHEMA_VERSION);
    Outcome r = store->run("INSERT INTO meta(key, value) VALUES('schema_version', ?)", {version});
    if (r.ok()) r = store->run("INSERT INTO sec_master(password_hash) VALUES(?)", {std::string_view(*hash)});
    return r;
  });
  if (!made.ok()) {
    error = unavailable(path, "cannot be created", store->db_->error_text());
    store->db_->erase_store();
    return nullptr;
  }
  return store;
}

Outcome Store::migrate(const std::string& path, int& from) {
  std::string reason;
  std::unique_ptr<Backend> db = open_backend(path, reason);
  if (!db) return unavailable(path, "cannot be opened", reason);
  Store store(path, std::move(db));
  return store.schema_change([&]() -> Outcome {
    bool readable = false;
    const std::optional<int> version = schema_version_of(store, readable);
    if (!version || *version < 1 || *version > SCHEMA_VERSION) {
      return unavailable(path, "is not a policy store that this version can migrate", "");
    }
    from = *version;
    if (Outcome r = store.run_schema_steps(static_cast<std::size_t>(from)); !r.ok()) return r;
    return store.run("UPDATE meta SET value = ? WHERE key = 'schema_version'", {std::to_string(SCHEMA_VERSION)});
  });
}

Outcome Store::run_schema_steps(std::size_t from) {
  const std::span<const char* const> steps = db_->schema_steps();
  for (std::size_t step = from; step < steps.size(); ++step) {
    if (db_->run_script(steps[step]) != DbStatus::ok) return store_error();
  }
  return success();
}

// The outcome of the change, or the database's failure when the change
// succeeded but could not be committed.
Outcome Store::schema_change(const std::function<Outcome()>& change) {
  Outcome result;
  const DbStatus status = db_->schema_transaction([&] {
    result = change();
    return result.ok();
  });
  if (!result.ok()) return result;
  return status == DbStatus::ok ? success() : store_error();
}

bool Store::sec_master_password_matches(std::string_view password) {
  std::optional<std::string> hash;
  const Outcome read = query("SELECT password_hash FROM sec_master", {}, [&](const Row& row) { hash = row.text(0); });
  return read.ok() && hash && password_matches(password, *hash);
}

Outcome Store::write(const std::function<Outcome()>& change) { return call({}, std::nullopt, change); }

Outcome Store::read(const std::function<Outcome()>& query_fn) {
  if (db_->begin_read() != DbStatus::ok) return store_error();
  Outcome result = query_fn();
  // Nothing was written, so ending the read cannot lose anything.
  (void)db_->commit();
  return result;
}

Outcome Store::changed(std::string_view api, opt_str name, const std::function<Outcome()>& change) {
  undo_groups_.clear();
  Outcome result = change();
  if (result.ok()) result = write_undo_record(api, name);
  undo_groups_.clear();
  return result;
}

Outcome Store::in_savepoint(std::string_view api, opt_str name, const std::function<Outcome()>& change) {
  if (Outcome r = run("SAVEPOINT kx_change", {}); !r.ok()) return r;
  Outcome result = changed(api, name, change);
  if (!result.ok()) (void)run("ROLLBACK TO SAVEPOINT kx_change", {});  // the outer ROLLBACK or COMMIT decides
  if (Outcome r = run("RELEASE SAVEPOINT kx_change", {}); !r.ok() && result.ok()) return r;
  return result;
}

Outcome Store::call(std::string_view api, opt_str name, const std::function<Outcome()>& change) {
  // A look that must not disturb the store: no write lock, no fault used up;
  // a change through it fails in the database.
  if (read_only_) return read(change);
  for (int attempt = 1;; ++attempt) {
    // The leases an attempt notes as taken or given up are so only once
    // its transaction is committed.
    const std::set<std::string, std::less<>> leases_before = leases_taken_;
    bool committed = false;
    Outcome result = call_once(api, name, change, committed);
    if (!committed) leases_taken_ = leases_before;
    if (result.ok() || !db_->met_conflict()) return result;
    if (attempt == CONFLICT_ATTEMPTS) {
      return failure(CODE_STORE_ERROR, "policy store failure: changes of other clients conflicted with this call " +
                                           std::to_string(attempt) + " times");
    }
    pause_before_attempt(attempt);
  }
}

Outcome Store::call_once(std::string_view api, opt_str name, const std::function<Outcome()>& change,
                         bool& committed) {
  // The write lock is taken at once (waiting up to the busy timeout); a
  // deferred transaction could not wait when it upgrades later.
  if (db_->begin_write() != DbStatus::ok) {
    Outcome error = store_error();
    db_->rollback();
    return error;
  }
  std::optional<Fault> fault;
  if (const Outcome taken = api.empty() ? success() : take_fault(api, name, fault); !taken.ok()) {
    db_->rollback();
    return taken;
  }
  Outcome result;
  if (!fault) {
    // Nothing else to keep: a failed change rolls the transaction back.
    result = changed(api, name, change);
    if (!result.ok()) {
      db_->rollback();
      return result;
    }
  } else if (fault->reason == 1) {
    result = in_savepoint(api, name, change);
    // A conflict may have doomed the transaction: it runs again whole.
    if (!result.ok() && db_->met_conflict()) {
      db_->rollback();
      return result;
    }
  }
  if (fault && result.ok()) result = Outcome{fault->code, fault->reason, "injected fault in " + fault->api};
  if (db_->commit() != DbStatus::ok) {
    Outcome error = store_error();
    db_->rollback();
    return error;
  }
  committed = true;
  return result;
}

}  // namespace kx
