// Kills the program with SIGKILL at random points of a first configuration
// and of a reconfiguration and checks that every configuration file is one
// of the versions the run writes (never torn or empty) and that the policy
// store is intact.
//
//   reliability_crash [--runs N] [--seed S]   N runs of each kind
#include <cstdio>
#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <set>

#include "crash_run.h"
#include "e2e/secret_scan.h"
#include "rel_common.h"

namespace rel {
namespace {

// The contents each configuration file may have after a crash: before the
// run (none when absent), after it, and in between.
using Versions = std::map<std::string, std::set<std::optional<std::string>>>;

struct Totals {
  long runs = 0, torn = 0, created_empty = 0, bad_store = 0, leaks = 0, leaks_after_next_run = 0, killed_in_program = 0, finished = 0, stragglers = 0;
  std::set<std::string> leak_places;
};

std::optional<std::string> content_of(const e2e::TempHost& host, const std::string& path) {
  const FileState state = file_state(host.dir(), path);
  return state.exists ? std::optional(state.content) : std::nullopt;
}

void add_current(Versions& versions, const e2e::TempHost& host, const std::string& suffix = "") {
  for (const std::string& path : kConfFiles) {
    const auto content = content_of(host, path + suffix);
    if (content || suffix.empty()) versions[path].insert(content);
  }
}

// Before, after, and what a first configuration writes into zarnd.conf
// before its state entry (kept as ".partial" by a run that fails at the
// login policy tool, the step right before).
Versions legitimate_versions(const e2e::TempHost& host, const HostSnapshot& ready, const std::vector<std::string>& args) {
  Versions versions;
  ready.restore();
  add_current(versions, host);
  if (host.zarncfg(args).exit_status != 0) throw std::runtime_error("the reference run failed");
  add_current(versions, host);
  ready.restore();
  host.write_file("/var/zarn/run/fail.zarnlpadm", "");
  (void)host.zarncfg(args);
  add_current(versions, host, ".partial");
  return versions;
}

// A store file must pass SQLite's own check; a PostgreSQL server keeps its
// tables whole itself, so there the store must still answer a dump.
std::string check_store(const e2e::TempHost& host) {
  if (store_backend() == kxtest::Backend::postgresql) {
    const auto r = host.sh("/opt/Varden/bin/kxadmin dump");
    return r.exit_status == 0 ? "" : "dump: " + r.out + r.err;
  }
  const auto r = host.sh("sqlite3 /var/Varden/policy.db 'PRAGMA integrity_check'");
  return r.exit_status == 0 && r.out == "ok\n" ? "" : "integrity_check: " + r.out + r.err;
}

void crash_runs(const char* kind, const e2e::TempHost& host, const HostSnapshot& ready,
                const std::vector<std::string>& args, long runs, std::mt19937_64& random, Totals& totals) {
  const Versions versions = legitimate_versions(host, ready, args);
  std::vector<std::string> argv{e2e::kZarncfg};
  argv.insert(argv.end(), args.begin(), args.end());
  ready.restore();
  const auto duration = time_run(host.dir(), argv);
  std::printf("%s: an uninterrupted run takes %.0f ms\n", kind, static_cast<double>(duration.count()) / 1000.0);
  std::uniform_int_distribution<long> pick(0, static_cast<long>(duration.count()));
  for (long i = 0; i < runs; ++i) {
    ready.restore();
    const std::chrono::microseconds delay(pick(random));
    const CrashOutcome outcome = run_and_kill(host.dir(), argv, delay);
    ++totals.runs;
    totals.finished += outcome.finished_first;
    totals.killed_in_program += outcome.program_started;
    totals.stragglers += outcome.stragglers_killed;
    for (const std::string& path : kConfFiles) {
      const auto content = content_of(host, path);
      if (versions.at(path).count(content)) continue;
      // The program creates a missing file empty right before its first
      // write: an in-between state it makes on purpose, read as "no
      // configuration" like the absent file.
      if (content && content->empty() && versions.at(path).count(std::nullopt)) {
        ++totals.created_empty;
        continue;
      }
      ++totals.torn;
      std::printf("TORN %s run %ld (%ld us): %s holds content the run never writes\n", kind, i,
                  static_cast<long>(delay.count()), path.c_str());
    }
    if (const std::string problem = check_store(host); !problem.empty()) {
      ++totals.bad_store;
      std::printf("STORE %s run %ld: %s\n", kind, i, problem.c_str());
    }
    static const std::regex password_file(R"(^/opt/zarn/etc/\.zarncfg-pw\.[A-Za-z0-9]{6}$)");
    for (const std::string& hit : e2e::find_secret(host, kPwd)) {
      ++totals.leaks;
      totals.leak_places.insert(std::regex_match(hit, password_file) ? "/opt/zarn/etc/.zarncfg-pw.XXXXXX" : hit);
    }
    // The next run of the program, whatever it is asked, sweeps them away.
    (void)hostsim::run_in_host(host.dir(), {e2e::kZarncfg, "-?"});
    totals.leaks_after_next_run += static_cast<long>(e2e::find_secret(host, kPwd).size());
  }
}

int run(long runs, unsigned long seed) {
  Totals totals;
  std::mt19937_64 random(seed);
  with_fresh_host([&](const e2e::TempHost& host, const HostSnapshot& fresh) {
    crash_runs("first configuration", host, fresh, first_args(), runs, random, totals);
  });
  with_configured_host([&](const e2e::TempHost& host, const HostSnapshot& configured) {
    crash_runs("reconfiguration", host, configured, reconfig_args(), runs, random, totals);
  });
  std::printf("killed inside the program: %ld, ended before the kill: %ld, children killed after 30 s: %ld\n",
              totals.killed_in_program, totals.finished, totals.stragglers);
  std::printf("torn files: %ld / %ld runs\n", totals.torn, totals.runs);
  std::printf("empty files where none was before (created, not yet written): %ld\n", totals.created_empty);
  std::printf("stores failing integrity_check: %ld / %ld runs\n", totals.bad_store, totals.runs);
  std::printf("secret found after a crash: %ld times\n", totals.leaks);
  std::printf("secret found after the next run of the program: %ld times\n", totals.leaks_after_next_run);
  for (const std::string& place : totals.leak_places) std::printf("  in %s\n", place.c_str());
  const long failed = totals.torn + totals.bad_store + totals.leaks_after_next_run;
  print_result("crash runs", totals.runs - std::min(failed, totals.runs), std::min(failed, totals.runs));
  // Kills that all came before the program started, or after it ended,
  // tested nothing.
  if (totals.killed_in_program == 0) std::printf("FAILED: no kill landed while the program ran\n");
  return failed == 0 && totals.killed_in_program > 0 ? 0 : 1;
}

}  // namespace
}  // namespace rel

int main(int argc, char** argv) { return rel::run_driver(argc, argv, "reliability_crash", 10, rel::run); }
