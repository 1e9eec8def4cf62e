// Makes each step of a first configuration and of a reconfiguration fail in
// turn and checks that the run reports it and leaves the host as it was.
//
//   reliability_faults [--runs N]   N steps spread over the list (0: all)
#include <cstdio>
#include <exception>

#include "fault_check.h"
#include "fault_steps.h"
#include "rel_common.h"

namespace rel {
namespace {

struct Totals {
  long runs = 0, restored = 0, covered = 0, leaks = 0;
  std::set<std::string> kept;
};

// Every `stride`-th step, so that a short run still samples the whole list.
std::vector<FaultStep> pick(std::vector<FaultStep> steps, long wanted) {
  if (wanted <= 0 || static_cast<std::size_t>(wanted) >= steps.size()) return steps;
  std::vector<FaultStep> picked;
  const double stride = static_cast<double>(steps.size()) / static_cast<double>(wanted);
  for (long i = 0; i < wanted; ++i) picked.push_back(steps[static_cast<std::size_t>(static_cast<double>(i) * stride)]);
  return picked;
}

void run_step(const FaultStep& step, const e2e::TempHost& host, const HostSnapshot& ready, Totals& totals) {
  ready.restore();
  step.inject(host);
  const HostState before = capture(host);
  const auto run = host.zarncfg(step.scenario == Scenario::first_configuration ? first_args() : reconfig_args());
  const RunVerdict verdict = judge(step, host, run, before);
  ++totals.runs;
  if (verdict.reached) ++totals.covered;
  if (verdict.problems.empty()) ++totals.restored;
  totals.leaks += verdict.leaks;
  totals.kept.insert(verdict.kept.begin(), verdict.kept.end());
  std::printf("%s %s / %s (exit %d)\n", verdict.problems.empty() ? "ok  " : "FAIL", scenario_name(step.scenario),
              step.name.c_str(), run.exit_status);
  for (const std::string& problem : verdict.problems) std::printf("       %s\n", problem.c_str());
  std::fflush(stdout);
}

int run(long wanted) {
  Totals totals;
  std::size_t existing = 0;
  with_fresh_host([&](const e2e::TempHost& host, const HostSnapshot& fresh) {
    auto steps = first_configuration_steps(host);
    existing += steps.size();
    for (const FaultStep& step : pick(steps, wanted / 2 + wanted % 2)) run_step(step, host, fresh, totals);
  });
  with_configured_host([&](const e2e::TempHost& host, const HostSnapshot& configured) {
    auto steps = reconfiguration_steps();
    existing += steps.size();
    for (const FaultStep& step : pick(steps, wanted / 2)) run_step(step, host, configured, totals);
  });
  std::printf("failing steps covered: %ld / %zu existing (%ld runs)\n", totals.covered, existing, totals.runs);
  std::printf("runs that restored the host: %ld / %ld\n", totals.restored, totals.runs);
  std::printf("secret leaks found: %ld\n", totals.leaks);
  for (const std::string& path : totals.kept) std::printf("kept by design after a failed run: %s\n", path.c_str());
  print_result("fault runs", totals.restored, totals.runs - totals.restored);
  return totals.restored == totals.runs ? 0 : 1;
}

}  // namespace
}  // namespace rel

int main(int argc, char** argv) {
  try {
    return rel::run(rel::count_option(argc, argv, "--runs", 0));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "reliability_faults: %s\n", e.what());
    return 2;
  }
}
