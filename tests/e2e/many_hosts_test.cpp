// End to end: many hosts configured against one policy server at the same
// moment, as happens when a fleet is rolled out.  Every host must end
// configured (the leases on shared policy let no host lose a race), the
// shared policy must exist exactly once, and the store must stay sound; then
// all of them reconfigure at once.  On both backends of the store.
//
// ZARN_MANY_HOSTS sets the number of hosts (default 10, at least 2).
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "e2e/host_fixture.h"
#include "e2e/site_store.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPwd = "Secr3tMaster";
constexpr const char* kCert = "/etc/ssl/zarn-ca.pem";
const char* const kBranches[] = {"branch_a", "branch_b"};
// Runs queue on the store's lock and share two cores: be patient.
constexpr std::chrono::seconds kRunTimeout{900};

int host_count() {
  const char* text = std::getenv("ZARN_MANY_HOSTS");
  const int n = text != nullptr ? std::atoi(text) : 10;
  return std::max(n, 2);
}

std::string host_name(int i) {
  std::ostringstream name;
  name << "fleet" << (i < 10 ? "0" : "") << i;
  return name.str();
}

// Why a host lost: what it printed, and the records of its log that
// carry an error or a store code, which name the call that failed.
std::string why_it_failed(const TempHost& host, const hostsim::RunResult& r) {
  std::string why = describe(r) + "\nlog records of note:\n";
  std::istringstream log(host.log_text());
  for (std::string line; std::getline(log, line);) {
    if (line.find("E ") != std::string::npos || line.find("0x1354") != std::string::npos) why += line + "\n";
  }
  return why;
}

struct Fleet {
  std::vector<std::unique_ptr<TempHost>> hosts;

  const char* branch_of(std::size_t i) const { return kBranches[i % 2]; }

  // Every host runs `args_of(i)` in its own thread, all at once.
  std::vector<hostsim::RunResult> run_at_once(const std::vector<std::size_t>& which,
                                              const std::function<std::vector<std::string>(std::size_t)>& args_of) {
    std::vector<hostsim::RunResult> results(which.size());
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < which.size(); ++k) {
      threads.emplace_back([&, k] {
        results[k] = hosts[which[k]]->zarncfg(args_of(which[k]), with_timeout(kRunTimeout));
      });
    }
    for (auto& t : threads) t.join();
    return results;
  }

  std::vector<std::string> first_args(std::size_t i) const {
    return {"-ldap_ssl_cacert", kCert, "-branch", branch_of(i), "-suffix", "o=zarn", "-sec_master_pwd", kPwd};
  }

  std::string kxadmin(const std::vector<std::string>& words) const {
    std::vector<std::string> argv{"/opt/Varden/bin/kxadmin"};
    argv.insert(argv.end(), words.begin(), words.end());
    return hosts.front()->run(argv).out;
  }
};

class ManyHostsTest : public ::testing::TestWithParam<kxtest::Backend> {
 protected:
  void SetUp() override {
    ASSERT_EQ(store_.problem(), "");
    for (int i = 0; i < host_count(); ++i) {
      fleet_.hosts.push_back(std::make_unique<TempHost>(store_.host_options(host_name(i))));
      // Short lease periods: the hosts wait for each other in seconds.
      store_.point(*fleet_.hosts.back(), "lease-renewal-ms = 2000\n");
      fleet_.hosts.back()->write_file(kCert, "-----BEGIN CERTIFICATE-----\nFLEET CA\n-----END CERTIFICATE-----\n");
    }
    const auto init = fleet_.hosts.front()->run({"/opt/Varden/bin/kxadmin", "init", "--sec-master-pwd", kPwd});
    ASSERT_EQ(init.exit_status, 0) << describe(init);
  }

  void TearDown() override { fleet_.hosts.clear(); }

  std::size_t count_of(const std::vector<std::string>& lines, const std::string& wanted) {
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), wanted));
  }

  // The store agrees with the hosts that are configured, and is sound.
  void expect_store_consistent(const std::vector<bool>& configured) {
    std::set<std::string> registered;
    std::vector<bool> branch_used(2, false);
    for (std::size_t i = 0; i < configured.size(); ++i) {
      if (!configured[i]) continue;
      registered.insert("zarnd/" + host_name(static_cast<int>(i)));
      branch_used[i % 2] = true;
    }
    const auto users = lines_of(fleet_.kxadmin({"user", "list", "zarnd/*"}));
    EXPECT_EQ(std::set<std::string>(users.begin(), users.end()), registered);
    EXPECT_EQ(users.size(), registered.size()) << "a host registered twice";
    const auto spaces = lines_of(fleet_.kxadmin({"objectspace", "list"}));
    const bool any = std::find(configured.begin(), configured.end(), true) != configured.end();
    EXPECT_EQ(count_of(spaces, "/BREVIK"), any ? 1u : 0u);
    for (std::size_t b = 0; b < 2; ++b) {
      EXPECT_EQ(count_of(spaces, std::string("/BREVIK/") + kBranches[b]), branch_used[b] ? 1u : 0u) << kBranches[b];
    }
    if (GetParam() == kxtest::Backend::sqlite) {
      const auto check = fleet_.hosts.front()->run({"sqlite3", "/var/Varden/policy.db", "PRAGMA integrity_check"});
      EXPECT_EQ(check.out, "ok\n") << describe(check);
    }
  }

  // A host that failed left nothing of itself in the store.
  bool rolled_back_cleanly(std::size_t i, const hostsim::RunResult& r) {
    const std::string user = "zarnd/" + host_name(static_cast<int>(i));
    return r.exit_status == 1 && r.term_signal == 0 && fleet_.kxadmin({"user", "list", user}).empty() &&
           r.out.find("ZRNCF0021E") != std::string::npos;
  }

  SiteStore store_{GetParam()};  // the hosts go first
  Fleet fleet_;
};

TEST_P(ManyHostsTest, FirstConfigurationsAtOnceThenReconfigureAtOnce) {
  const std::size_t n = fleet_.hosts.size();
  std::vector<std::size_t> all(n);
  for (std::size_t i = 0; i < n; ++i) all[i] = i;

  const auto first = fleet_.run_at_once(all, [&](std::size_t i) { return fleet_.first_args(i); });
  std::vector<bool> configured(n, false);
  std::vector<std::size_t> failed;
  std::size_t consistent = 0;
  for (std::size_t i = 0; i < n; ++i) {
    SCOPED_TRACE(host_name(static_cast<int>(i)));
    configured[i] = first[i].exit_status == 0;
    const bool clean = configured[i] || rolled_back_cleanly(i, first[i]);
    EXPECT_TRUE(clean) << describe(first[i]);
    if (clean) ++consistent;
    if (!configured[i]) {
      failed.push_back(i);
      std::cout << host_name(static_cast<int>(i)) << " rolled back:\n" << why_it_failed(*fleet_.hosts[i], first[i]) << "\n";
    }
  }
  expect_store_consistent(configured);

  // The leases on shared policy make hosts that need the same policy wait
  // for each other: none may fail.
  EXPECT_TRUE(failed.empty()) << failed.size() << " hosts lost a race";
  const auto again = fleet_.run_at_once(all, [](std::size_t) { return std::vector<std::string>{"-zarnd_logs", "9"}; });
  std::size_t reconfigured = 0;
  for (std::size_t i = 0; i < n; ++i) {
    EXPECT_EQ(again[i].exit_status, 0) << host_name(static_cast<int>(i)) << describe(again[i]);
    if (again[i].exit_status == 0) ++reconfigured;
  }
  expect_store_consistent(configured);

  std::cout << "many hosts (" << kxtest::backend_name(GetParam()) << "): " << consistent << "/" << n << " hosts consistent after the first round ("
            << (n - failed.size()) << " configured, " << failed.size() << " rolled back); "
            << reconfigured << "/" << n << " reconfigured at once\n";
}

// A host killed while it holds the leases of the policy it created: the
// hosts that need that policy wait until the leases expire, one of them
// takes the dead run's policy back and loads it anew, and all end
// configured, the killed host too when it runs again.
TEST_P(ManyHostsTest, HostsWaitingForAKilledOwnerProceedAfterItsLeasesExpire) {
  const TempHost& dead = *fleet_.hosts[0];
  ASSERT_TRUE(make_zarnd_kill_zarncfg(dead));
  const auto killed = fleet_.run_at_once({0}, [&](std::size_t i) { return fleet_.first_args(i); });
  ASSERT_EQ(killed.front().exit_status, 128 + 9) << describe(killed.front());
  ASSERT_NE(fleet_.kxadmin({"lease", "list"}), "");

  const std::vector<std::size_t> waiting{1, 2, 3};
  const auto runs = fleet_.run_at_once(waiting, [&](std::size_t i) { return fleet_.first_args(i); });
  const std::string taken_back = "of host " + host_name(0) + " ended before it completed while it created the policy /BREVIK.\n";
  int takers = 0;
  for (const auto& r : runs) {
    EXPECT_EQ(r.exit_status, 0) << describe(r);
    takers += r.out.find(taken_back) != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(takers, 1) << "exactly one host takes the dead run's policy back";

  ASSERT_TRUE(put_back_zarnd(dead));
  const auto again = fleet_.run_at_once({0}, [&](std::size_t i) { return fleet_.first_args(i); });
  EXPECT_EQ(again.front().exit_status, 0) << describe(again.front());
  std::vector<bool> configured(fleet_.hosts.size(), false);
  for (std::size_t i = 0; i < 4; ++i) configured[i] = true;
  expect_store_consistent(configured);
  EXPECT_EQ(fleet_.kxadmin({"run", "list"}), "");
  EXPECT_EQ(fleet_.kxadmin({"lease", "list"}), "");
}

// A host that waits longer than its wait limit for policy another host is
// creating gives up with ZRNCF1427E naming that host; the other host goes
// on undisturbed.
TEST_P(ManyHostsTest, AHostGivesUpAfterTheWaitLimitAndLeavesTheOwnerAlone) {
  const TempHost& owner = *fleet_.hosts[0];
  const TempHost& patient = *fleet_.hosts[1];
  store_.point(patient, "lease-renewal-ms = 500\nlease-wait-ms = 2000\n");
  owner.write_file("/var/zarn/run/hold.zarnd-T", "");
  hostsim::RunResult owned;
  std::thread first([&] { owned = owner.zarncfg(fleet_.first_args(0), with_timeout(kRunTimeout)); });
  // The owner holds the leases while its zarnd -T is held.
  for (int i = 0; i < 6000 && !owner.exists("/var/zarn/run/held.zarnd-T"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const auto gave_up = fleet_.run_at_once({1}, [&](std::size_t i) { return fleet_.first_args(i); }).front();
  EXPECT_EQ(owner.sh("rm -f /var/zarn/run/hold.zarnd-T").exit_status, 0);
  first.join();
  EXPECT_EQ(gave_up.exit_status, 1) << describe(gave_up);
  EXPECT_NE(gave_up.out.find("ZRNCF1426I   Host fleet00 is creating the policy /BREVIK on the Varden Policy Server. "
                             "Waiting until its configuration has ended.\n"),
            std::string::npos)
      << describe(gave_up);
  EXPECT_NE(gave_up.out.find("ZRNCF1427E   The policy /BREVIK on the Varden Policy Server was still being created "
                             "by host fleet00 after 2 seconds.\nRun zarncfg again when the configuration of that host "
                             "has ended.\n"),
            std::string::npos)
      << describe(gave_up);
  EXPECT_EQ(owned.exit_status, 0) << describe(owned);
  std::vector<bool> configured(fleet_.hosts.size(), false);
  configured[0] = true;
  expect_store_consistent(configured);
  EXPECT_EQ(fleet_.kxadmin({"lease", "list"}), "");
}

// A host waiting for policy another host is creating stops at a
// termination signal: its run ends through its roll-back, it leaves
// nothing in the store, and the other host goes on undisturbed.
TEST_P(ManyHostsTest, AWaitingHostStopsAtATerminationSignal) {
  const TempHost& owner = *fleet_.hosts[0];
  const TempHost& waiter = *fleet_.hosts[1];
  owner.write_file("/var/zarn/run/hold.zarnd-T", "");
  hostsim::RunResult owned;
  std::thread first([&] { owned = owner.zarncfg(fleet_.first_args(0), with_timeout(kRunTimeout)); });
  for (int i = 0; i < 6000 && !owner.exists("/var/zarn/run/held.zarnd-T"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  hostsim::RunResult stopped;
  std::thread second([&] { stopped = waiter.zarncfg(fleet_.first_args(1), with_timeout(kRunTimeout)); });
  bool waiting = false;
  for (int i = 0; i < 6000 && !waiting; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    waiting = waiter.exists(kZarncfgLog) && waiter.read_file(kZarncfgLog).find("ZRNCF1426I") != std::string::npos;
  }
  EXPECT_TRUE(waiting);
  const pid_t pid = static_cast<pid_t>(std::stol(waiter.read_file("/var/zarn/run/zarncfg.lock")));
  EXPECT_EQ(::kill(pid, SIGTERM), 0);
  second.join();
  EXPECT_EQ(owner.sh("rm -f /var/zarn/run/hold.zarnd-T").exit_status, 0);
  first.join();

  EXPECT_EQ(stopped.exit_status, 1) << describe(stopped);
  EXPECT_NE(stopped.out.find("ZRNCF1396E   The configuration process was interrupted by signal SIGTERM.\n"),
            std::string::npos)
      << describe(stopped);
  EXPECT_NE(stopped.out.find("ZRNCF0021E"), std::string::npos) << describe(stopped);
  EXPECT_EQ(owned.exit_status, 0) << describe(owned);
  std::vector<bool> configured(fleet_.hosts.size(), false);
  configured[0] = true;
  expect_store_consistent(configured);
  EXPECT_EQ(fleet_.kxadmin({"run", "list"}), "");
  EXPECT_EQ(fleet_.kxadmin({"lease", "list"}), "");
}

INSTANTIATE_TEST_SUITE_P(Backends, ManyHostsTest, kxtest::all_backends(), kxtest::BackendName());

}  // namespace
}  // namespace e2e
