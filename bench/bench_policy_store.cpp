// Policy application and roll-back through the kxadmin_ calls, next to the
// floor of raw SQLite measured in the same run: one durable one-row
// transaction (BEGIN IMMEDIATE; INSERT or DELETE; COMMIT) at a time, in WAL
// mode with synchronous FULL, as the store runs.
//
//   bench_policy_store [--sizes 1000,10000,100000] [--rounds N] [--store postgresql://...]
//
// With --store the store is that PostgreSQL database (made anew each
// round), and the floor is one-row transactions over the same URI, each a
// single prepared statement that commits on its own; the round trips each
// command and each roll-back record takes are printed too.
//
// Every policy command is its own durable transaction carrying its undo
// record (the context has a run tag); the roll-back applies the records
// newest first, each in its own transaction.  A shared disk's speed drifts
// from second to second, so the work goes in small batches that alternate
// with batches of the floor: each batch of commands is one run (its own
// tag), and the runs are rolled back newest first, which leaves the store
// as one roll-back of all of them would.  Figures are medians of the
// rounds; CPU time (user + system of this process) does not drift with the
// disk.
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench_pg_floor.h"
#include "bench_support.h"
#include "kx_pg_backend.h"
#include "kx_pg_location.h"
#include "kx_store.h"
#include "kxadmin.h"
#include "kxadmin_internal.h"

namespace {

struct Timing {
  double wall = 0;
  double cpu = 0;
  Timing& operator+=(const Timing& more) {
    wall += more.wall;
    cpu += more.cpu;
    return *this;
  }
};

Timing timing_of(const bench::Stopwatch& watch) { return {watch.seconds(), watch.cpu_seconds()}; }

// The raw floor: a table of one integer key and a short text.
class RawTable {
 public:
  explicit RawTable(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
      bench::fail("cannot create " + path);
    }
    exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;");
    exec("CREATE TABLE t(id INTEGER PRIMARY KEY, v TEXT NOT NULL)");
  }
  ~RawTable() { sqlite3_close_v2(db_); }
  RawTable(const RawTable&) = delete;
  RawTable& operator=(const RawTable&) = delete;

  Timing insert_rows(std::size_t first, std::size_t rows) {
    return one_row_transactions(first, rows, "INSERT INTO t(id, v) VALUES(?, 'row')");
  }
  Timing delete_rows(std::size_t first, std::size_t rows) {
    return one_row_transactions(first, rows, "DELETE FROM t WHERE id = ?");
  }
  std::string setting(const char* pragma) {
    sqlite3_stmt* stmt = prepare(std::string("PRAGMA ") + pragma);
    std::string value = sqlite3_step(stmt) == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)) : "?";
    sqlite3_finalize(stmt);
    return value;
  }

 private:
  void exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) bench::fail(sqlite3_errmsg(db_));
  }
  sqlite3_stmt* prepare(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) bench::fail(sqlite3_errmsg(db_));
    return stmt;
  }
  void step(sqlite3_stmt* stmt) {
    if (sqlite3_step(stmt) != SQLITE_DONE) bench::fail(sqlite3_errmsg(db_));
    sqlite3_reset(stmt);
  }
  // The floor prepares its statements once, as the store does.
  Timing one_row_transactions(std::size_t first, std::size_t rows, const char* sql) {
    sqlite3_stmt* begin = prepare("BEGIN IMMEDIATE");
    sqlite3_stmt* change = prepare(sql);
    sqlite3_stmt* commit = prepare("COMMIT");
    const bench::Stopwatch watch;
    for (std::size_t i = first; i < first + rows; ++i) {
      step(begin);
      sqlite3_bind_int64(change, 1, static_cast<sqlite3_int64>(i));
      step(change);
      step(commit);
    }
    const Timing took = timing_of(watch);
    for (sqlite3_stmt* stmt : {begin, change, commit}) sqlite3_finalize(stmt);
    return took;
  }

  sqlite3* db_ = nullptr;
};

constexpr const char* PASSWORD = "bench password";

// Commands per batch (and run): small enough that the floor and the store
// meet the same disk, large enough that a run's own row (made with its
// first record, removed with its last) costs little.
constexpr std::size_t BATCH = 20;

kxadmin_run_tag run_of_batch(std::size_t batch) {
  return kxadmin_run_tag{"benchhost", 4242, 1700000000 + static_cast<std::int64_t>(batch)};
}

void check(int result, const kxadmin_response_t& rsp, const std::string& what) {
  if (result != 1) bench::fail(what + ": " + kxadmin_response_getmessage(rsp.get(), 0));
}

// A store with one user for the ACL entries; a database's store replaces
// the one the previous round left.
kxadmin_context_t store_context(const std::string& path, bool replace) {
  kx::Outcome error;
  if (!kx::Store::create(path, PASSWORD, replace, error)) bench::fail(error.message);
  kxadmin_set_store_path(path);
  kxadmin_context_t ctx;
  kxadmin_response_t rsp;
  check(kxadmin_context_createdefault("sec_master", PASSWORD, ctx, rsp), rsp, "log in");
  const std::vector<std::string> no_groups;
  check(kxadmin_user_create3(ctx.get(), "zarnd/bench", "cn=bench", "bench", "zarnd", "pw", 0, no_groups, 0, 1, rsp),
        rsp, "user");
  return ctx;
}

// The commands of a policy file: for each object, its protected object,
// its ACL, an entry, the attachment and an attribute.
int policy_command(const kxadmin_context* ctx, std::size_t index, kxadmin_response_t& rsp) {
  const std::string object = "/BREVIK/bench/o" + std::to_string(index / 5);
  const std::string acl = "bench-acl-" + std::to_string(index / 5);
  switch (index % 5) {
    case 0:
      return kxadmin_protobj_create(ctx, object, 0, "benchmark object", rsp);
    case 1:
      return kxadmin_acl_create(ctx, acl, rsp);
    case 2:
      return kxadmin_acl_setuser(ctx, acl, "zarnd/bench", "Tr", rsp);
    case 3:
      return kxadmin_protobj_attachacl(ctx, object, acl, rsp);
    default:
      return kxadmin_acl_attrput(ctx, acl, "mode", "warn", rsp);
  }
}

// Commands [first, first + count) as the run of `batch`.
Timing apply_policy(kxadmin_context* ctx, std::size_t batch, std::size_t first, std::size_t count) {
  kxadmin_response_t rsp;
  check(kxadmin_context_setruntag(ctx, run_of_batch(batch), rsp), rsp, "run tag");
  const bench::Stopwatch watch;
  for (std::size_t i = first; i < first + count; ++i) {
    check(policy_command(ctx, i, rsp), rsp, "command " + std::to_string(i));
  }
  return timing_of(watch);
}

Timing roll_back(const kxadmin_context* ctx, std::size_t batch) {
  kxadmin_response_t rsp;
  const bench::Stopwatch watch;
  check(kxadmin_run_rollback(ctx, run_of_batch(batch), rsp), rsp, "roll-back");
  return timing_of(watch);
}

void check_rolled_back(const kxadmin_context* ctx) {
  kxadmin_response_t rsp;
  std::vector<kxadmin_run_info> left;
  check(kxadmin_run_list(ctx, std::nullopt, left, rsp), rsp, "run list");
  unsigned long count = 0;
  std::vector<std::string> acls;
  check(kxadmin_acl_list(ctx, count, acls, rsp), rsp, "ACL list");
  if (!left.empty() || count != 0) bench::fail("the roll-back left undo records or policy");
}

struct Round {
  Timing insert_floor, apply, delete_floor, rollback;
  double apply_trips = 0, rollback_trips = 0;  // server round trips, PostgreSQL only
};

// The raw floor on PostgreSQL, timed as the SQLite one.
class PgRawTable {
 public:
  explicit PgRawTable(const std::string& uri) : floor_(uri) {}
  Timing insert_rows(std::size_t first, std::size_t rows) {
    const bench::Stopwatch watch;
    floor_.insert_rows(first, rows);
    return timing_of(watch);
  }
  Timing delete_rows(std::size_t first, std::size_t rows) {
    const bench::Stopwatch watch;
    floor_.delete_rows(first, rows);
    return timing_of(watch);
  }
  std::string setting(const char* name) { return floor_.setting(name); }

 private:
  bench::PgFloor floor_;
};

template <class Raw>
Round one_round(std::size_t size, Raw& raw, const std::string& store_location, bool replace) {
  kxadmin_context_t ctx = store_context(store_location, replace);
  const std::size_t batch_size = std::min<std::size_t>(BATCH, size);
  const std::size_t batches = (size + batch_size - 1) / batch_size;
  const auto first_of = [&](std::size_t b) { return b * batch_size; };
  const auto count_of = [&](std::size_t b) { return std::min(batch_size, size - first_of(b)); };
  Round round;
  for (std::size_t b = 0; b < batches; ++b) {
    round.insert_floor += raw.insert_rows(first_of(b), count_of(b));
    const std::uint64_t trips = kx::pg_round_trips();
    round.apply += apply_policy(ctx.get(), b, first_of(b), count_of(b));
    round.apply_trips += static_cast<double>(kx::pg_round_trips() - trips);
  }
  for (std::size_t b = batches; b-- > 0;) {
    round.delete_floor += raw.delete_rows(first_of(b), count_of(b));
    const std::uint64_t trips = kx::pg_round_trips();
    round.rollback += roll_back(ctx.get(), b);
    round.rollback_trips += static_cast<double>(kx::pg_round_trips() - trips);
  }
  check_rolled_back(ctx.get());
  kxadmin_set_store_path(std::nullopt);
  return round;
}

Round one_round(std::size_t size, const std::string& uri) {
  if (!uri.empty()) {
    PgRawTable raw(uri);
    return one_round(size, raw, uri, true);
  }
  const bench::ScratchDir dir;
  if (!dir.ok()) bench::fail("no scratch folder under /tmp");
  RawTable raw(dir.file("raw.db"));
  return one_round(size, raw, dir.file("policy.db"), false);
}

template <class Field>
double median_of(const std::vector<Round>& rounds, Field field) {
  std::vector<double> values;
  for (const Round& round : rounds) values.push_back(field(round));
  return bench::median(values);
}

void report(std::size_t size, const std::vector<Round>& rounds) {
  const std::string label = std::to_string(size);
  const double n = static_cast<double>(size);
  const auto rate = [&](auto field) { return median_of(rounds, [&](const Round& r) { return n / field(r).wall; }); };
  const auto cpu_us = [&](auto field) { return median_of(rounds, [&](const Round& r) { return field(r).cpu / n * 1e6; }); };
  bench::print_row(label, "apply (commands/s)", rate([](const Round& r) { return r.apply; }),
                   rate([](const Round& r) { return r.insert_floor; }), "tx/s");
  bench::print_row(label, "rollback (records/s)", rate([](const Round& r) { return r.rollback; }),
                   rate([](const Round& r) { return r.delete_floor; }), "tx/s");
  bench::print_row(label, "apply CPU (us/command)", cpu_us([](const Round& r) { return r.apply; }),
                   cpu_us([](const Round& r) { return r.insert_floor; }), "us/tx");
  bench::print_row(label, "rollback CPU (us/rec)", cpu_us([](const Round& r) { return r.rollback; }),
                   cpu_us([](const Round& r) { return r.delete_floor; }), "us/tx");
  if (rounds.front().apply_trips > 0) {
    std::printf("%-8s round trips per command %.2f, per roll-back record %.2f (floor 1 per tx)\n", label.c_str(),
                rounds.front().apply_trips / n, rounds.front().rollback_trips / n);
  }
}

std::vector<std::size_t> parse_sizes(const std::string& list) {
  std::vector<std::size_t> sizes;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    const long value = std::strtol(list.substr(start, comma - start).c_str(), nullptr, 10);
    if (value <= 0) bench::fail("bad size list " + list);
    sizes.push_back(static_cast<std::size_t>(value));
    start = comma + 1;
  }
  return sizes;
}

void print_settings(const std::string& uri) {
  if (!uri.empty()) {
    PgRawTable raw(uri);
    std::printf("PostgreSQL %s, fsync %s, synchronous_commit %s, over %s, for store and floor\n",
                raw.setting("server_version").c_str(), raw.setting("fsync").c_str(),
                raw.setting("synchronous_commit").c_str(), kx::uri_without_credentials(uri).c_str());
    std::printf("%-8s %-22s %12s %12s %-10s %7s\n", "size", "work", "figure", "floor", "", "ratio");
    return;
  }
  const bench::ScratchDir dir;
  RawTable raw(dir.file("settings.db"));
  std::printf("SQLite %s, journal_mode %s, synchronous %s (2 = FULL) for store and floor\n", sqlite3_libversion(),
              raw.setting("journal_mode").c_str(), raw.setting("synchronous").c_str());
  std::printf("%-8s %-22s %12s %12s %-10s %7s\n", "size", "work", "figure", "floor", "", "ratio");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::size_t> sizes{1000, 10000, 100000};
  int rounds = 1;
  std::string uri;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--sizes") {
      sizes = parse_sizes(argv[i + 1]);
    } else if (option == "--rounds") {
      rounds = std::max(1, std::atoi(argv[i + 1]));
    } else if (option == "--store" && kx::is_postgresql_location(argv[i + 1])) {
      uri = argv[i + 1];
    } else {
      bench::fail("usage: bench_policy_store [--sizes N,N,...] [--rounds R] [--store postgresql://...]");
    }
  }
  print_settings(uri);
  std::map<std::size_t, std::vector<Round>> results;
  for (const std::size_t size : sizes) {
    for (int r = 0; r < rounds; ++r) results[size].push_back(one_round(size, uri));
    report(size, results[size]);
  }
  // Growth for ten times the work: linear is 10x.  Wall time follows the
  // disk's drift, which the floor's growth shows; CPU time does not.
  for (std::size_t i = 1; i < sizes.size(); ++i) {
    const auto& small = results[sizes[i - 1]];
    const auto& large = results[sizes[i]];
    const auto growth = [&](auto field) {
      return median_of(large, field) / median_of(small, field);
    };
    std::printf("growth %zu -> %zu (%.0fx the work): wall apply %.2fx (floor %.2fx), rollback %.2fx (floor %.2fx); "
                "CPU apply %.2fx, rollback %.2fx\n",
                sizes[i - 1], sizes[i], static_cast<double>(sizes[i]) / static_cast<double>(sizes[i - 1]),
                growth([](const Round& r) { return r.apply.wall; }), growth([](const Round& r) { return r.insert_floor.wall; }),
                growth([](const Round& r) { return r.rollback.wall; }),
                growth([](const Round& r) { return r.delete_floor.wall; }),
                growth([](const Round& r) { return r.apply.cpu; }), growth([](const Round& r) { return r.rollback.cpu; }));
  }
  return 0;
}
