// zarncfg in simulated hosts, beside floors measured in the same run:
//
// - a first configuration with the product's default policy: zarncfg's own
//   CPU time (its RUSAGE_SELF, so the store's work in the process counts;
//   the store's password hashing, slow on purpose, is left out) beside the
//   same number of raw store transactions and beside its children's CPU;
// - the peak memory of a first configuration whose default policy has
//   N commands more (100 000 unless --commands says otherwise) beside twice
//   the size of its policy file;
// - a reconfiguration of one value in a 1 MB and a 10 MB zarnd.conf: own
//   CPU time beside copying the file with cp and syncing the copy.
//
// Medians of 5 rounds.  Needs root and the staged product:
//   ctest --test-dir BUILD -R stage_product && BUILD/bench/bench_first_configuration
// --zarncfg PATH measures that build of the program instead (the rest of
// the host is still the staged product), to compare two builds.
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>

#include "bench_config_files.h"
#include "bench_host.h"
#include "bench_run_floor.h"
#include "bench_support.h"

namespace {

namespace fs = std::filesystem;

constexpr double kOwnCpuTargetMs = 10;

struct Options {
  int commands = 100000;
  std::optional<fs::path> zarncfg;
};
Options options;

// One durable transaction a row, as the store makes one a policy command:
// the same journal mode and synchronous setting, on the same file system.
double raw_transactions_cpu_ms(const fs::path& database, int count) {
  sqlite3* db = nullptr;
  const auto exec = [&db](const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
      throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(db));
    }
  };
  if (sqlite3_open(database.c_str(), &db) != SQLITE_OK) throw std::runtime_error("sqlite: cannot open " + database.string());
  exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT)");
  const bench::Stopwatch watch;
  for (int i = 0; i < count; ++i) exec("BEGIN IMMEDIATE; INSERT INTO t (name) VALUES ('a row'); COMMIT");
  // The close checkpoints the log into the database, as the store's last
  // connection does at the end of a run.
  sqlite3_close(db);
  return watch.cpu_seconds() * 1000;
}

// The store calls zarncfg made: the log names each one.
int store_calls(const std::string& log) {
  static const std::regex call(R"(Executing \S+ API\.)");
  return static_cast<int>(std::distance(std::sregex_iterator(log.begin(), log.end(), call), std::sregex_iterator()));
}

// The least the work of a first configuration costs done raw, measured just
// after the run in the folders where the run did it: its store
// transactions (beside the store), its whole-file writes (beside the run
// record, the most written file), the temporary files of its commands'
// output (in its working folder), starting and waiting for its children,
// and the start of one process.  Where a file system is slow to make new
// files after many were removed (ext4 without a journal looks past every
// recently freed inode), the floor pays it as the run did.
struct RunFloor {
  double transactions_ms = 0;
  double atomic_writes_ms = 0;
  double temporary_files_ms = 0;
  double spawns_ms = 0;
  double process_start_ms = 0;
  double total() const {
    return transactions_ms + atomic_writes_ms + temporary_files_ms + spawns_ms + process_start_ms;
  }
};

RunFloor run_floor(const bench::BenchHost& host, const bench::Usage& zarncfg, int calls) {
  RunFloor floor;
  floor.transactions_ms = raw_transactions_cpu_ms(host.path("/var/Varden/raw.db"), calls);
  floor.atomic_writes_ms = bench::atomic_writes_cpu_ms(host.path("/var/zarn/run"), zarncfg.renames);
  // Every whole-file write makes its temporary file too.
  floor.temporary_files_ms =
      bench::temporary_files_cpu_ms(host.path("/var/zarn/zarncfg"), zarncfg.temporary_files - zarncfg.renames);
  // A first configuration starts children, so their own cost is measured
  // by the same spawns: one process's start and end.
  const bench::SpawnFloor spawns = bench::spawns_cpu_ms(zarncfg.spawns);
  floor.spawns_ms = spawns.parent_ms;
  floor.process_start_ms = spawns.per_child_ms;
  return floor;
}

void first_configuration() {
  std::vector<double> own, children, hashing, peaks;
  std::vector<RunFloor> floors;
  int calls = 0;
  bench::Usage last;
  for (int round = 0; round < bench::kRounds; ++round) {
    const bench::BenchHost host(options.zarncfg);
    const bench::RunUsage usage = host.zarncfg(bench::first_configuration_args());
    own.push_back(usage.zarncfg.cpu_ms() - usage.zarncfg.hashing_ms);
    hashing.push_back(usage.zarncfg.hashing_ms);
    children.push_back(usage.children_cpu_ms);
    peaks.push_back(usage.zarncfg.peak_mb);
    calls = store_calls(host.read("/var/zarn/log/msg__zarncfg.log"));
    floors.push_back(run_floor(host, usage.zarncfg, calls));
    last = usage.zarncfg;
  }
  const auto median_of = [&floors](double RunFloor::*part) {
    std::vector<double> values;
    for (const RunFloor& floor : floors) values.push_back(floor.*part);
    return bench::median(values);
  };
  std::vector<double> totals;
  for (const RunFloor& floor : floors) totals.push_back(floor.total());
  const double own_ms = bench::median(own);
  const double children_ms = bench::median(children);
  const double raw_ms = median_of(&RunFloor::transactions_ms);
  const double floor_ms = bench::median(totals);
  std::printf("First configuration with the product's default policy (%d store calls), CPU time in ms,\n"
              "medians of %d hosts.  Floors: the same number of raw store transactions; the same work\n"
              "done raw (below); the target; its children's CPU; the whole run's floor.\n",
              calls, bench::kRounds);
  bench::print_row("first", "own CPU / raw tx", own_ms, raw_ms, "ms");
  bench::print_row("first", "own CPU / same work raw", own_ms, floor_ms, "ms");
  bench::print_row("first", "own CPU / target", own_ms, kOwnCpuTargetMs, "ms");
  bench::print_row("first", "own CPU / children", own_ms, children_ms, "ms");
  bench::print_row("first", "run CPU / floor", own_ms + children_ms, floor_ms + children_ms, "ms");
  std::printf("  (own CPU leaves out password hashing: %.1f ms; zarncfg's peak memory %.1f MB)\n",
              bench::median(hashing), bench::median(peaks));
  std::printf("  (the same work raw: %d transactions %.1f ms, %ld whole-file writes %.1f ms,\n"
              "   %ld temporary files %.1f ms, %ld children started %.1f ms, a process start %.1f ms)\n",
              calls, raw_ms, last.renames, median_of(&RunFloor::atomic_writes_ms),
              last.temporary_files - last.renames, median_of(&RunFloor::temporary_files_ms), last.spawns,
              median_of(&RunFloor::spawns_ms), median_of(&RunFloor::process_start_ms));
}

// The product's first policy file with `count` commands more.
std::string policy_with_more_commands(const std::string& product_file, int count) {
  std::string text = product_file;
  for (int i = 0; i < count; ++i) text += "acl create bench-acl-" + std::to_string(i) + "\n";
  return text;
}

void large_policy(int commands) {
  const bench::BenchHost plain(options.zarncfg);
  const double base_mb = plain.zarncfg(bench::first_configuration_args()).zarncfg.peak_mb;
  const bench::BenchHost host(options.zarncfg);
  const std::string policy = policy_with_more_commands(host.read("/opt/zarn/etc/brevik.once-only"), commands);
  host.write("/opt/zarn/etc/brevik.once-only", policy);
  const bench::Stopwatch watch;
  const bench::RunUsage usage = host.zarncfg(bench::first_configuration_args(), std::chrono::hours(2));
  const double file_mb = static_cast<double>(policy.size()) / (1024 * 1024);
  std::printf("First configuration with %d more policy commands (a policy file of %zu bytes), one run.\n"
              "Peak memory beyond a plain first configuration; floor: twice the policy file.\n",
              commands, policy.size());
  bench::print_row(std::to_string(commands / 1000) + "k", "peak memory beyond", usage.zarncfg.peak_mb - base_mb,
                   2 * file_mb, "MB");
  std::printf("  (peak memory %.1f MB, plain first configuration %.1f MB; the run took %.0f s)\n",
              usage.zarncfg.peak_mb, base_mb, watch.seconds());
}

// A configured file is not rewritten moments before it is reconfigured:
// wait until its change time is old enough to be trusted.
void wait_until_settled(const fs::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return;
  const auto changed = std::chrono::system_clock::time_point(std::chrono::seconds(info.st_ctim.tv_sec));
  std::this_thread::sleep_until(changed + std::chrono::seconds(3));
}

double cp_and_fsync_in(const bench::BenchHost& host) {
  return bench::cp_and_fsync_ms(host.path("/opt/zarn/etc/zarnd.conf").string(), host.path("/tmp/floor.conf").string());
}

bench::Figures reconfiguration(const bench::BenchHost& host, std::size_t size) {
  const std::string configured = host.read("/opt/zarn/etc/zarnd.conf");
  const std::string padding = bench::zarnd_conf_of_size(size).substr(bench::zarnd_conf_of_size(0).size());
  host.write("/opt/zarn/etc/zarnd.conf", configured + padding);
  std::vector<double> own, floors;
  for (int round = 0; round < bench::kRounds; ++round) {
    wait_until_settled(host.path("/opt/zarn/etc/zarnd.conf"));
    floors.push_back(cp_and_fsync_in(host));
    own.push_back(host.zarncfg({"-zarnd_logs", round % 2 == 0 ? "4" : "5"}).zarncfg.cpu_ms());
  }
  const bench::Figures figures{bench::median(floors), bench::median(own)};
  bench::print_row(bench::size_name(size), "own CPU", figures.figure, figures.floor, "ms");
  return figures;
}

void reconfigurations() {
  std::printf("Reconfiguration of -zarnd_logs in a large zarnd.conf, medians of %d rounds: zarncfg's own CPU;\n"
              "floor: cp of the file and fsync of the copy (wall, ms).\n",
              bench::kRounds);
  const bench::BenchHost host(options.zarncfg);
  (void)host.zarncfg(bench::first_configuration_args());
  const bench::Figures one = reconfiguration(host, 1024 * 1024);
  const bench::Figures ten = reconfiguration(host, 10 * 1024 * 1024);
  bench::print_row("10/1 MB", "own CPU growth", ten.figure / one.figure, 11.0, "x (limit)");
}

}  // namespace

int main(int argc, char** argv) {
#if defined(__SANITIZE_ADDRESS__)
  std::fprintf(stderr, "run this benchmark from a build without sanitizers\n");
  return 2;
#endif
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--commands") == 0) options.commands = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--zarncfg") == 0) options.zarncfg = fs::absolute(argv[i + 1]);
  }
  try {
    first_configuration();
    reconfigurations();
    large_policy(options.commands);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
