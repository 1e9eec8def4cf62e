// Kills the program with SIGKILL at random points of a reconfiguration and
// of a first configuration, lets what it started run out, then runs the
// same command again, plainly.  The re-run must succeed and leave every
// configuration file as one uninterrupted run leaves it, owner and mode
// included, with the daemon registered once and no run record left.  The
// kills of a first configuration land anywhere in it, every policy file
// included; after the re-run the policy store (its undo records included)
// must be what one uninterrupted run leaves, generated passwords aside
// (the dump shows no password).
//
//   reliability_rerun [--runs N] [--seed S]   N kills of each kind
#include <cstdio>
#include <map>
#include <random>
#include <stdexcept>
#include <string>

#include "crash_run.h"
#include "rel_common.h"
#include "rollback_check.h"

namespace rel {
namespace {

struct Totals {
  long runs = 0, failed = 0, reruns_succeeded = 0, files_as_uninterrupted = 0, killed_in_program = 0, finished_first = 0,
       stores_compared = 0, stores_as_uninterrupted = 0;
  // First configurations killed while (or after) a policy file was being
  // applied, by the last file their run record names.
  std::map<std::string, long> killed_in_policy_file;
};

// The daemon's registration in the store: a simulated host's node name is
// "zarnhost".
constexpr const char* kDaemonUser = "zarnd/zarnhost\n";

struct Kind {
  const char* name;
  bool first_configuration;
};

// What one uninterrupted run leaves.
struct Reference {
  std::map<std::string, FileState> files;
  std::string store;
};

// The policy file the killed run was at, by its run record; empty when it
// had not begun the policy.
std::string policy_file_reached(const e2e::TempHost& host) {
  const std::string record = file_state(host.dir(), "/var/zarn/run/zarncfg.run").content;
  const std::size_t at = record.rfind("\npolicy ");
  if (at == std::string::npos) return "";
  const std::size_t start = at + 8;
  return record.substr(start, record.find('\n', start) - start);
}

std::vector<std::string> check_rerun(const e2e::TempHost& host, const hostsim::RunResult& rerun,
                                     const Reference& reference, bool compare_store) {
  std::vector<std::string> problems;
  if (rerun.exit_status != 0) problems.push_back("re-run exit status " + std::to_string(rerun.exit_status));
  for (const std::string& difference : file_differences(reference.files, conf_file_states(host.dir()))) {
    problems.push_back(difference);
  }
  if (compare_store) {
    for (const std::string& line : line_diff(reference.store, store_dump(host))) problems.push_back("store " + line);
  }
  const auto users = host.sh("/opt/Varden/bin/kxadmin user list 'zarnd/*'").out;
  if (users != kDaemonUser) problems.push_back("registered daemons: " + users);
  if (host.exists("/var/zarn/run/zarncfg.run")) problems.push_back("run record left");
  return problems;
}

Reference reference_run(const e2e::TempHost& host, const HostSnapshot& ready, const std::vector<std::string>& args) {
  ready.restore();
  if (host.zarncfg(args).exit_status != 0) throw std::runtime_error("the reference run failed");
  return Reference{conf_file_states(host.dir()), store_dump(host)};
}

void kill_and_rerun(const Kind& kind, const e2e::TempHost& host, const HostSnapshot& ready,
                    const std::vector<std::string>& args, long runs, std::mt19937_64& random, Totals& totals) {
  std::vector<std::string> argv{e2e::kZarncfg};
  argv.insert(argv.end(), args.begin(), args.end());
  const Reference reference = reference_run(host, ready, args);
  ready.restore();
  const auto window = time_run(host.dir(), argv);
  std::printf("%s: kills drawn from the first %.0f ms\n", kind.name, static_cast<double>(window.count()) / 1000.0);
  std::uniform_int_distribution<long> pick(0, static_cast<long>(window.count()));
  for (long i = 0; i < runs; ++i) {
    ready.restore();
    const std::chrono::microseconds delay(pick(random));
    const CrashOutcome outcome = run_and_kill(host.dir(), argv, delay);
    totals.killed_in_program += outcome.program_started;
    totals.finished_first += outcome.finished_first;
    if (kind.first_configuration) {
      const std::string file = policy_file_reached(host);
      if (!file.empty()) ++totals.killed_in_policy_file[file];
    }
    const auto rerun = host.zarncfg(args);
    ++totals.runs;
    totals.reruns_succeeded += rerun.exit_status == 0;
    const std::vector<std::string> problems = check_rerun(host, rerun, reference, kind.first_configuration);
    totals.files_as_uninterrupted += file_differences(reference.files, conf_file_states(host.dir())).empty();
    if (kind.first_configuration) {
      ++totals.stores_compared;
      totals.stores_as_uninterrupted += line_diff(reference.store, store_dump(host)).empty();
    }
    if (problems.empty()) continue;
    ++totals.failed;
    std::printf("FAIL %s, killed after %ld us:\n", kind.name, static_cast<long>(delay.count()));
    for (const std::string& problem : problems) std::printf("       %s\n", problem.c_str());
    std::printf("%s", e2e::describe(rerun).c_str());
    std::fflush(stdout);
  }
}

int run(long runs, unsigned long seed) {
  Totals totals;
  std::mt19937_64 random(seed);
  with_configured_host([&](const e2e::TempHost& host, const HostSnapshot& configured) {
    kill_and_rerun(Kind{"reconfiguration", false}, host, configured, reconfig_args(), runs, random, totals);
  });
  with_fresh_host([&](const e2e::TempHost& host, const HostSnapshot& fresh) {
    kill_and_rerun(Kind{"first configuration", true}, host, fresh, first_args(), runs, random, totals);
  });
  std::printf("killed inside the program: %ld, ended before the kill: %ld\n", totals.killed_in_program,
              totals.finished_first);
  for (const auto& [file, kills] : totals.killed_in_policy_file) {
    std::printf("first configurations killed at or after the policy file %s: %ld\n", file.c_str(), kills);
  }
  std::printf("re-runs that succeed: %ld / %ld\n", totals.reruns_succeeded, totals.runs);
  std::printf("files after the re-run as after one uninterrupted run: %ld / %ld\n", totals.files_as_uninterrupted,
              totals.runs);
  std::printf("policy stores after the re-run of a first configuration as after one uninterrupted run: %ld / %ld\n",
              totals.stores_as_uninterrupted, totals.stores_compared);
  print_result("kill and re-run", totals.runs - totals.failed, totals.failed);
  return totals.failed == 0 ? 0 : 1;
}

}  // namespace
}  // namespace rel

int main(int argc, char** argv) { return rel::run_driver(argc, argv, "reliability_rerun", 300, rel::run); }
