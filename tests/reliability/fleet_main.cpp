// Many hosts joining one policy store at once, a third of them failing
// late.  Each round makes a new store and H hosts on three branches; all
// start their first configuration within a moment of each other, and the
// hosts chosen to fail (a third) fail at zarnd -T, which is held until a
// random moment of the round.  Only the hosts made to fail may fail: every
// other one must end configured (a collateral failure otherwise), and the
// store must hold exactly the successful hosts' registrations and policy,
// with no undo records and no leases left.  Then every host runs at once
// again (the configured ones reconfigure, the failed ones configure anew),
// and all of them must end configured.
//
//   reliability_fleet [--runs N] [--seed S] [--hosts H] [--backend sqlite|postgresql]
#include <algorithm>
#include <cstdio>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "rel_common.h"

namespace rel {
namespace {

using e2e::lines_of;

const char* const kBranches[] = {"fleet_a", "fleet_b", "fleet_c"};
constexpr std::chrono::seconds kRunTimeout{900};
// Lease periods short enough for a round of seconds, long enough that a
// live owner on a loaded machine never misses three renewals.
constexpr const char* kLeaseEntries = "lease-renewal-ms = 2000\n";

long host_option = 20;

struct Totals {
  long rounds = 0, made_to_fail = 0, failed_as_made = 0, collateral = 0, store_wrong = 0, second_round_failed = 0;
};

std::string host_name(std::size_t i) {
  std::ostringstream name;
  name << "node" << (i < 10 ? "0" : "") << i;
  return name.str();
}

struct Fleet {
  std::unique_ptr<e2e::SiteStore> site = shared_site_store();
  std::vector<std::unique_ptr<e2e::TempHost>> hosts;

  explicit Fleet(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      hosts.push_back(std::make_unique<e2e::TempHost>(site->host_options(host_name(i))));
      site->point(*hosts.back(), kLeaseEntries);
    }
    prepare_host(*hosts.front());
    for (const auto& host : hosts) host->write_file(kCert, "-----BEGIN CERTIFICATE-----\nFLEET CA\n-----END CERTIFICATE-----\n");
  }
  static const char* branch_of(std::size_t i) { return kBranches[i % 3]; }
  std::vector<std::string> first_args(std::size_t i) const {
    return {"-ldap_ssl_cacert", kCert, "-branch", branch_of(i), "-suffix", "o=zarn", "-sec_master_pwd", kPwd};
  }
  std::string kxadmin(const std::string& words) const {
    return hosts.front()->sh("/opt/Varden/bin/kxadmin " + words).out;
  }
};

// Every host runs `args_of(i)` after its own delay, all in parallel.
std::vector<hostsim::RunResult> run_all(Fleet& fleet, const std::vector<std::chrono::milliseconds>& delays,
                                        const std::function<std::vector<std::string>(std::size_t)>& args_of) {
  std::vector<hostsim::RunResult> results(fleet.hosts.size());
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < fleet.hosts.size(); ++i) {
    threads.emplace_back([&, i] {
      std::this_thread::sleep_for(delays[i]);
      results[i] = fleet.hosts[i]->zarncfg(args_of(i), e2e::with_timeout(kRunTimeout));
    });
  }
  for (auto& t : threads) t.join();
  return results;
}

// What the store must hold for the configured hosts: their registrations,
// their memberships and entries, the product's policy when any host is
// configured and a branch's when one of its hosts is; no unfinished run
// and no lease.  The problems found.
std::vector<std::string> check_store(const Fleet& fleet, const std::vector<bool>& configured) {
  std::vector<std::string> problems;
  std::set<std::string> users;
  std::set<std::string> members;
  std::vector<std::set<std::string>> entries(3);
  for (std::size_t i = 0; i < configured.size(); ++i) {
    if (!configured[i]) continue;
    users.insert("zarnd/" + host_name(i));
    members.insert("member zarnd/" + host_name(i));
    entries[i % 3].insert("user zarnd/" + host_name(i) + " Tr");
  }
  const auto listed = lines_of(fleet.kxadmin("user list 'zarnd/*'"));
  if (std::set<std::string>(listed.begin(), listed.end()) != users || listed.size() != users.size()) {
    problems.push_back("the registrations are not those of the configured hosts");
  }
  std::set<std::string> found_members;
  for (const std::string& line : lines_of(fleet.kxadmin("group show brevik-servers"))) {
    if (line.starts_with("member ")) found_members.insert(line);
  }
  if (!users.empty() && found_members != members) problems.push_back("brevik-servers has other members");
  const auto spaces = lines_of(fleet.kxadmin("objectspace list"));
  const auto has_space = [&](const std::string& name) { return std::count(spaces.begin(), spaces.end(), name); };
  if (has_space("/BREVIK") != (users.empty() ? 0 : 1)) problems.push_back("the product's policy is wrong");
  for (std::size_t b = 0; b < 3; ++b) {
    const std::string branch = kBranches[b];
    if (has_space("/BREVIK/" + branch) != (entries[b].empty() ? 0 : 1)) problems.push_back(branch + " is wrong");
    if (entries[b].empty()) continue;
    std::set<std::string> found;
    for (const std::string& line : lines_of(fleet.kxadmin("acl show brevik-" + branch + "-hosts"))) {
      if (line.starts_with("user zarnd/")) found.insert(line);
    }
    if (found != entries[b]) problems.push_back("the hosts of " + branch + " are not those configured");
  }
  if (!fleet.kxadmin("run list").empty()) problems.push_back("undo records are left");
  if (!fleet.kxadmin("lease list").empty()) problems.push_back("leases are left");
  return problems;
}

void report(const char* what, long round, const std::vector<std::string>& problems) {
  for (const std::string& problem : problems) std::printf("FAIL round %ld, %s: %s\n", round, what, problem.c_str());
  std::fflush(stdout);
}

// Lets each failing host's zarnd -T go on at its own random moment.
std::thread release_holds(const Fleet& fleet, const std::vector<std::size_t>& failing, std::mt19937_64& random) {
  std::vector<std::pair<std::chrono::milliseconds, std::size_t>> moments;
  std::uniform_int_distribution<int> pick(0, 6000);
  for (const std::size_t i : failing) moments.emplace_back(std::chrono::milliseconds(pick(random)), i);
  std::sort(moments.begin(), moments.end());
  return std::thread([&fleet, moments] {
    const auto start = std::chrono::steady_clock::now();
    for (const auto& [at, i] : moments) {
      std::this_thread::sleep_until(start + at);
      (void)fleet.hosts[i]->sh("rm -f /var/zarn/run/hold.zarnd-T");
    }
  });
}

void first_round(Fleet& fleet, std::mt19937_64& random, Totals& totals, std::vector<bool>& configured) {
  const std::size_t n = fleet.hosts.size();
  std::vector<std::size_t> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), random);
  const std::vector<std::size_t> failing(order.begin(), order.begin() + static_cast<long>(n / 3));
  std::vector<bool> made_to_fail(n, false);
  for (const std::size_t i : failing) {
    made_to_fail[i] = true;
    fleet.hosts[i]->write_file("/var/zarn/run/fail.zarnd-T", "1\n");
    fleet.hosts[i]->write_file("/var/zarn/run/hold.zarnd-T", "");
  }
  std::uniform_int_distribution<int> pick(0, 1500);
  std::vector<std::chrono::milliseconds> delays(n);
  for (auto& delay : delays) delay = std::chrono::milliseconds(pick(random));
  std::thread releases = release_holds(fleet, failing, random);
  const auto results = run_all(fleet, delays, [&](std::size_t i) { return fleet.first_args(i); });
  releases.join();
  totals.made_to_fail += static_cast<long>(failing.size());
  for (std::size_t i = 0; i < n; ++i) {
    configured[i] = results[i].exit_status == 0;
    if (made_to_fail[i]) {
      totals.failed_as_made += results[i].exit_status == 1 ? 1 : 0;
      continue;
    }
    if (configured[i]) continue;
    ++totals.collateral;
    report("first configurations", totals.rounds,
           {host_name(i) + " failed:\n" + e2e::describe(results[i]) + "--- message log\n" +
            fleet.hosts[i]->read_file("/var/zarn/log/msg__zarncfg.log")});
  }
}

void second_round(Fleet& fleet, Totals& totals, const std::vector<bool>& configured) {
  for (const auto& host : fleet.hosts) (void)host->sh("rm -f /var/zarn/run/fail.zarnd-T");
  const std::vector<std::chrono::milliseconds> at_once(fleet.hosts.size());
  const auto results = run_all(fleet, at_once, [&](std::size_t i) {
    return configured[i] ? std::vector<std::string>{"-zarnd_logs", "9"} : fleet.first_args(i);
  });
  bool all = true;
  for (std::size_t i = 0; i < results.size(); ++i) {
    if (results[i].exit_status == 0) continue;
    all = false;
    report("all at once", totals.rounds, {host_name(i) + " failed:\n" + e2e::describe(results[i])});
  }
  const std::vector<std::string> problems = check_store(fleet, std::vector<bool>(fleet.hosts.size(), true));
  report("store after all at once", totals.rounds, problems);
  if (!all || !problems.empty()) ++totals.second_round_failed;
}

int run(long rounds, unsigned long seed) {
  Totals totals;
  std::mt19937_64 random(seed);
  for (long r = 0; r < rounds; ++r) {
    ++totals.rounds;
    Fleet fleet(static_cast<std::size_t>(std::max(3L, host_option)));
    std::vector<bool> configured(fleet.hosts.size(), false);
    first_round(fleet, random, totals, configured);
    const std::vector<std::string> problems = check_store(fleet, configured);
    report("store after first configurations", totals.rounds, problems);
    if (!problems.empty()) ++totals.store_wrong;
    second_round(fleet, totals, configured);
    std::printf("round %ld: %ld collateral failures so far\n", totals.rounds, totals.collateral);
    std::fflush(stdout);
  }
  std::printf("hosts: %ld a round, on %zu branches; rounds: %ld; backend: %s\n", std::max(3L, host_option),
              std::size(kBranches), totals.rounds, kxtest::backend_name(store_backend()).c_str());
  std::printf("hosts made to fail at zarnd -T: %ld, of which failed: %ld\n", totals.made_to_fail,
              totals.failed_as_made);
  std::printf("collateral failures (hosts not made to fail that failed): %ld (goal 0)\n", totals.collateral);
  std::printf("rounds whose store held exactly the configured hosts' policy: %ld / %ld\n",
              totals.rounds - totals.store_wrong, totals.rounds);
  std::printf("rounds in which every host then ran at once and ended configured: %ld / %ld\n",
              totals.rounds - totals.second_round_failed, totals.rounds);
  const long bad = totals.collateral + totals.store_wrong + totals.second_round_failed +
                   (totals.made_to_fail - totals.failed_as_made);
  print_result("fleet rounds", bad == 0 ? totals.rounds : 0, bad == 0 ? 0 : totals.rounds);
  return bad == 0 ? 0 : 1;
}

}  // namespace
}  // namespace rel

int main(int argc, char** argv) {
  rel::host_option = rel::count_option(argc, argv, "--hosts", 20);
  return rel::run_driver(argc, argv, "reliability_fleet", 10, rel::run);
}
