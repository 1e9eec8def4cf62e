// Kills the program with SIGKILL at random points of a reconfiguration and
// of a first configuration (before its policy step: the policy a killed run
// applied is the policy server's to take back), lets what it started run
// out, then runs the same command again, plainly.  The re-run must succeed
// and leave every configuration file as one uninterrupted run leaves it,
// owner and mode included, with the daemon registered once and no run
// record left.
//
//   reliability_rerun [--runs N] [--seed S]   N kills of each kind
#include <cstdio>
#include <random>

#include "crash_run.h"
#include "rel_common.h"
#include "rollback_check.h"

namespace rel {
namespace {

struct Totals {
  long runs = 0, failed = 0, reruns_succeeded = 0, files_as_uninterrupted = 0, killed_in_program = 0, finished_first = 0,
       in_policy_step = 0;
};

// The daemon's registration in the store: a simulated host's node name is
// "zarnhost".
constexpr const char* kDaemonUser = "zarnd/zarnhost\n";

// The first output of the policy step.
constexpr const char* kPolicyStep = "Registering the Zarn product policy.";

struct Kind {
  const char* name;
  bool first_configuration;
};

bool in_policy_step(const e2e::TempHost& host) {
  const FileState record = file_state(host.dir(), "/var/zarn/run/zarncfg.run");
  return record.content.find("\npolicy ") != std::string::npos;
}

std::vector<std::string> check_rerun(const e2e::TempHost& host, const hostsim::RunResult& rerun,
                                     const std::map<std::string, FileState>& reference) {
  std::vector<std::string> problems;
  if (rerun.exit_status != 0) problems.push_back("re-run exit status " + std::to_string(rerun.exit_status));
  for (const std::string& difference : file_differences(reference, conf_file_states(host.dir()))) {
    problems.push_back(difference);
  }
  const auto users = host.sh("/opt/Varden/bin/kxadmin user list 'zarnd/*'").out;
  if (users != kDaemonUser) problems.push_back("registered daemons: " + users);
  if (host.exists("/var/zarn/run/zarncfg.run")) problems.push_back("run record left");
  return problems;
}

void kill_and_rerun(const Kind& kind, const e2e::TempHost& host, const HostSnapshot& ready,
                    const std::vector<std::string>& args, long runs, std::mt19937_64& random, Totals& totals) {
  std::vector<std::string> argv{e2e::kZarncfg};
  argv.insert(argv.end(), args.begin(), args.end());
  ready.restore();
  if (host.zarncfg(args).exit_status != 0) throw std::runtime_error("the reference run failed");
  const std::map<std::string, FileState> reference = conf_file_states(host.dir());
  ready.restore();
  const auto window = kind.first_configuration ? time_until_output(host.dir(), argv, kPolicyStep)
                                               : time_run(host.dir(), argv);
  std::printf("%s: kills drawn from the first %.0f ms\n", kind.name, static_cast<double>(window.count()) / 1000.0);
  std::uniform_int_distribution<long> pick(0, static_cast<long>(window.count()));
  for (long i = 0; i < runs; ++i) {
    ready.restore();
    const std::chrono::microseconds delay(pick(random));
    const CrashOutcome outcome = run_and_kill(host.dir(), argv, delay);
    // A run is slower or faster than the measured one: a kill that came
    // once the policy step had begun (its run record names a policy file)
    // is drawn again.
    if (kind.first_configuration && in_policy_step(host)) {
      ++totals.in_policy_step;
      --i;
      continue;
    }
    totals.killed_in_program += outcome.program_started;
    totals.finished_first += outcome.finished_first;
    const auto rerun = host.zarncfg(args);
    ++totals.runs;
    totals.reruns_succeeded += rerun.exit_status == 0;
    const std::vector<std::string> problems = check_rerun(host, rerun, reference);
    totals.files_as_uninterrupted += file_differences(reference, conf_file_states(host.dir())).empty();
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
  std::printf("first configurations killed in their policy step, drawn again: %ld\n", totals.in_policy_step);
  std::printf("re-runs that succeed: %ld / %ld\n", totals.reruns_succeeded, totals.runs);
  std::printf("files after the re-run as after one uninterrupted run: %ld / %ld\n", totals.files_as_uninterrupted,
              totals.runs);
  print_result("kill and re-run", totals.runs - totals.failed, totals.failed);
  return totals.failed == 0 ? 0 : 1;
}

}  // namespace
}  // namespace rel

int main(int argc, char** argv) { return rel::run_driver(argc, argv, "reliability_rerun", 300, rel::run); }
