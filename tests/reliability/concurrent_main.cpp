// Starts two runs on one configured host at once, the second after a random
// delay within the first one's duration: a reconfiguration and then either
// an information request or the same reconfiguration, and in a third of the
// pairs a reconfiguration that fails at its last step.  Where the runs
// overlap, one must be refused with ZRNCF1395E and change nothing; in every
// case each configuration file and each ".bak" copy must hold the content
// of a complete run (as before the runs, or as after one reconfiguration),
// and after a failing reconfiguration the files as before.
//
//   reliability_concurrent [--runs N] [--seed S]   N pairs
#include <cstdio>
#include <random>
#include <thread>

#include "crash_run.h"
#include "rel_common.h"

namespace rel {
namespace {

struct Totals {
  long pairs = 0, overlapping = 0, one_refused = 0, failed = 0;
};

enum class Second { information_request, reconfiguration, request_while_first_fails };

struct Outcome {
  sys::ExitStatus end;
  std::string output;
};

Outcome finish(HostRun& run) {
  Outcome outcome{run.wait(), run.output()};
  return outcome;
}

bool refused(const Outcome& outcome) {
  return outcome.end.code == 1 && outcome.output.rfind("ZRNCF1395E   Another run of zarncfg, process ", 0) == 0 &&
         outcome.output.find("ZRNCF0021E") != std::string::npos;
}

using Contents = std::map<std::string, std::set<std::optional<std::string>>>;

std::optional<std::string> content(const e2e::TempHost& host, const std::string& path) {
  const FileState state = file_state(host.dir(), path);
  return state.exists ? std::optional(state.content) : std::nullopt;
}

// Each configuration file and its ".bak" copy may hold what the file held
// before the runs or after one complete reconfiguration.
void add_complete_run(Contents& allowed, const e2e::TempHost& host) {
  for (const std::string& path : kConfFiles) {
    allowed[path].insert(content(host, path));
    allowed[path + ".bak"].insert(content(host, path));
  }
}

std::vector<std::string> check_files(const e2e::TempHost& host, const Contents& allowed) {
  std::vector<std::string> problems;
  for (const auto& [path, contents] : allowed) {
    const auto found = content(host, path);
    // A ".bak" copy may be absent: the restore of a failed run takes it away.
    if (contents.count(found) == 0 && !(path.ends_with(".bak") && !found)) {
      problems.push_back(path + " holds content no complete run leaves");
    }
  }
  return problems;
}

void run_pair(const e2e::TempHost& host, const HostSnapshot& ready, Second second, std::chrono::microseconds delay,
              const Contents& after_complete_run, const Contents& as_before, Totals& totals) {
  ready.restore();
  if (second == Second::request_while_first_fails) host.write_file("/var/zarn/run/fail.zarnlpadm", "");
  std::vector<std::string> first_argv{e2e::kZarncfg};
  for (const std::string& arg : reconfig_args()) first_argv.push_back(arg);
  const std::vector<std::string> second_argv =
      second == Second::reconfiguration ? first_argv : std::vector<std::string>{e2e::kZarncfg, "-version"};
  Outcome first, other;
  bool overlapping = false;
  {
    HostRun a(host.dir(), first_argv);
    std::this_thread::sleep_for(delay);
    overlapping = !a.ended();
    HostRun b(host.dir(), second_argv);
    first = finish(a);
    other = finish(b);
  }
  wait_for_stragglers(host.dir());
  ++totals.pairs;
  std::vector<std::string> problems;
  const int refusals = refused(first) + refused(other);
  const bool first_failing = second == Second::request_while_first_fails;
  if (refusals > 1) problems.push_back("both runs refused");
  totals.overlapping += overlapping;
  if (refusals == 1) {
    ++totals.one_refused;
    const Outcome& ran = refused(first) ? other : first;
    const bool ran_first = refused(other);
    const int expected = ran_first && first_failing ? 1 : 0;
    if (ran.end.code != expected) problems.push_back("the run that was not refused ended with " + std::to_string(ran.end.code));
  } else {
    if (first.end.code != (first_failing ? 1 : 0) || other.end.code != 0) {
      problems.push_back("exit statuses " + std::to_string(first.end.code) + " and " + std::to_string(other.end.code) +
                         ", none refused");
    }
  }
  for (const std::string& problem : check_files(host, first_failing ? as_before : after_complete_run)) {
    problems.push_back(problem);
  }
  if (problems.empty()) return;
  ++totals.failed;
  std::printf("FAIL pair %ld, second run after %ld us:\n", totals.pairs, static_cast<long>(delay.count()));
  for (const std::string& problem : problems) std::printf("       %s\n", problem.c_str());
  std::printf("--- first\n%s--- second\n%s", first.output.c_str(), other.output.c_str());
  std::fflush(stdout);
}

void run_pairs(const e2e::TempHost& host, const HostSnapshot& configured, long pairs, std::mt19937_64& random,
               Totals& totals) {
  Contents as_before;
  add_complete_run(as_before, host);
  Contents after_complete_run = as_before;
  if (host.zarncfg(reconfig_args()).exit_status != 0) throw std::runtime_error("the reference run failed");
  add_complete_run(after_complete_run, host);
  std::vector<std::string> argv{e2e::kZarncfg};
  for (const std::string& arg : reconfig_args()) argv.push_back(arg);
  configured.restore();
  const auto duration = time_run(host.dir(), argv);
  std::printf("a reconfiguration takes %.0f ms\n", static_cast<double>(duration.count()) / 1000.0);
  std::uniform_int_distribution<long> pick(0, static_cast<long>(duration.count()));
  for (long i = 0; i < pairs; ++i) {
    const Second second = static_cast<Second>(i % 3);
    run_pair(host, configured, second, std::chrono::microseconds(pick(random)), after_complete_run, as_before, totals);
  }
}

int run(long pairs, unsigned long seed) {
  Totals totals;
  std::mt19937_64 random(seed);
  with_configured_host([&](const e2e::TempHost& host, const HostSnapshot& configured) {
    run_pairs(host, configured, pairs, random, totals);
  });
  std::printf("pairs with one run refused: %ld; pairs whose second run started while the first still ran: %ld; "
              "pairs in all: %ld\n",
              totals.one_refused, totals.overlapping, totals.pairs);
  std::printf("pairs whose .bak and configuration files hold a complete run's content: %ld / %ld\n",
              totals.pairs - totals.failed, totals.pairs);
  print_result("concurrent pairs", totals.pairs - totals.failed, totals.failed);
  return totals.failed == 0 ? 0 : 1;
}

}  // namespace
}  // namespace rel

int main(int argc, char** argv) { return rel::run_driver(argc, argv, "reliability_concurrent", 200, rel::run); }
