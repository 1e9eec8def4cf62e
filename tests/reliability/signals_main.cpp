// Sends SIGINT, SIGTERM and SIGHUP at random points of a first
// configuration and of a reconfiguration, and checks that every such run
// ends with exit status 1 through its roll-back: the configuration files
// byte for byte as they were, with owner and mode (a first configuration
// keeps zarnd.conf and brevik.conf only as ".partial" files), the store as
// it was, no run record and no secret left.
//
//   reliability_signals [--runs N] [--seed S]   N runs of each signal and kind
#include <signal.h>

#include <cstdio>
#include <random>
#include <thread>

#include "crash_run.h"
#include "rel_common.h"
#include "rollback_check.h"
#include "sys_signals.h"

namespace rel {
namespace {

struct Totals {
  long runs = 0, rolled_back = 0, finished_first = 0, failed = 0;
};

struct Kind {
  const char* name;
  bool first_configuration;
};

// One run, signalled `delay` after its handlers are in place.
void signal_run(const e2e::TempHost& host, const Kind& kind, const std::vector<std::string>& argv,
                int signal_number, std::chrono::microseconds delay, Totals& totals) {
  const HostState before = capture(host);
  sys::ExitStatus end;
  std::string output;
  {
    HostRun run(host.dir(), argv);
    if (run.await_signal_handlers()) {
      std::this_thread::sleep_for(delay);
      run.send(signal_number);
    }
    end = run.wait();
    output = run.output();
  }
  wait_for_stragglers(host.dir());
  ++totals.runs;
  std::vector<std::string> problems;
  if (end.code == 0 && end.signal == 0) {
    // The signal came once the run had settled its outcome (or after it).
    ++totals.finished_first;
    return;
  }
  if (end.code != 1) problems.push_back("exit status " + std::to_string(end.code));
  const std::string named = "interrupted by signal " + sys::signal_name(signal_number) + ".";
  if (output.find(named) == std::string::npos) problems.push_back("no ZRNCF1396E naming the signal");
  if (output.find("ZRNCF0021E") == std::string::npos) problems.push_back("no ZRNCF0021E");
  for (const std::string& problem : rollback_problems(host, before, kind.first_configuration)) {
    problems.push_back(problem);
  }
  if (problems.empty()) {
    ++totals.rolled_back;
    return;
  }
  ++totals.failed;
  std::printf("FAIL %s, %s after %ld us:\n", kind.name, sys::signal_name(signal_number).c_str(),
              static_cast<long>(delay.count()));
  for (const std::string& problem : problems) std::printf("       %s\n", problem.c_str());
  std::printf("%s", output.c_str());
  std::fflush(stdout);
}

void signal_runs(const Kind& kind, const e2e::TempHost& host, const HostSnapshot& ready,
                 const std::vector<std::string>& args, long runs, std::mt19937_64& random, Totals& totals) {
  std::vector<std::string> argv{e2e::kZarncfg};
  argv.insert(argv.end(), args.begin(), args.end());
  ready.restore();
  const auto duration = time_run(host.dir(), argv);
  std::printf("%s: an uninterrupted run takes %.0f ms\n", kind.name, static_cast<double>(duration.count()) / 1000.0);
  std::uniform_int_distribution<long> pick(0, static_cast<long>(duration.count()));
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    for (long i = 0; i < runs; ++i) {
      ready.restore();
      signal_run(host, kind, argv, signal_number, std::chrono::microseconds(pick(random)), totals);
    }
  }
}

int run(long runs, unsigned long seed) {
  Totals totals;
  std::mt19937_64 random(seed);
  with_fresh_host([&](const e2e::TempHost& host, const HostSnapshot& fresh) {
    signal_runs(Kind{"first configuration", true}, host, fresh, first_args(), runs, random, totals);
  });
  with_configured_host([&](const e2e::TempHost& host, const HostSnapshot& configured) {
    signal_runs(Kind{"reconfiguration", false}, host, configured, reconfig_args(), runs, random, totals);
  });
  std::printf("rolled back (exit 1, files, owners, modes and store as before): %ld / %ld signalled runs\n",
              totals.rolled_back, totals.runs - totals.finished_first);
  std::printf("signal after the outcome was settled (exit 0, run complete): %ld\n", totals.finished_first);
  print_result("signal runs", totals.runs - totals.failed, totals.failed);
  return totals.failed == 0 ? 0 : 1;
}

}  // namespace
}  // namespace rel

int main(int argc, char** argv) { return rel::run_driver(argc, argv, "reliability_signals", 100, rel::run); }
