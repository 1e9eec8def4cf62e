// End to end: zarnctl plan shows what the next run does and changes
// nothing; zarnctl status tells how the host and its last run stand.
#include <signal.h>

#include <chrono>
#include <future>
#include <map>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "e2e/config_fixture.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

constexpr const char* kZarnctl = "/opt/zarn/bin/zarnctl";

// A plan's output cut into its sections ("Files", "Links", ...), each a list of lines.
std::map<std::string, std::vector<std::string>> sections_of(const std::string& out) {
  std::map<std::string, std::vector<std::string>> sections;
  std::istringstream lines(out);
  std::string line, current, previous = "-";
  while (std::getline(lines, line)) {
    if (previous.empty() && !line.empty() && line.back() == ':') {
      current = line.substr(0, line.size() - 1);
    } else if (!current.empty() && !line.empty()) {
      sections[current].push_back(line);
    }
    previous = line;
  }
  return sections;
}

// The files a plan creates, with the contents its diffs give them.
std::map<std::string, std::string> created_files(const std::vector<std::string>& file_lines) {
  std::map<std::string, std::string> files;
  std::string* current = nullptr;
  for (const std::string& line : file_lines) {
    if (line.rfind("+++ ", 0) == 0) {
      current = &files[line.substr(4)];
    } else if (line.rfind("create ", 0) == 0) {
      current = &files[line.substr(7)];
    } else if (line.rfind("--- ", 0) == 0) {
      EXPECT_EQ(line, "--- /dev/null");
    } else if (current != nullptr && line.rfind("+", 0) == 0) {
      *current += line.substr(1) + "\n";
    }
  }
  return files;
}

// The commands a run started, as its log shows them.
std::vector<std::string> logged_commands(const std::string& log) {
  std::vector<std::string> commands;
  std::istringstream lines(log);
  const std::string head = "Running command ", tail = ". ";
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(head, 0) == 0 && line.size() >= head.size() + tail.size() &&
        line.compare(line.size() - tail.size(), tail.size(), tail) == 0) {
      commands.push_back(line.substr(head.size(), line.size() - head.size() - tail.size()));
    }
  }
  return commands;
}

class ZarnctlTest : public ConfigTest {
 protected:
  hostsim::RunResult zarnctl(std::vector<std::string> args) {
    args.insert(args.begin(), kZarnctl);
    return run(args);
  }
  nlohmann::json status() {
    const auto r = zarnctl({"status", "--json"});
    EXPECT_EQ(r.exit_status, 0) << describe(r);
    return nlohmann::json::parse(r.out);
  }
  // Everything a run may touch, to show that a plan touched none of it.
  std::string host_snapshot() {
    return tree_snapshot(host(), {"/opt/zarn", "/opt/Varden", "/var/zarn", "/var/Varden", "/etc", "/tmp", "/root"}) +
           store_dump();
  }
};

TEST_F(ZarnctlTest, PlanPredictsTheFirstConfigurationAndChangesNothing) {
  const std::string before = host_snapshot();
  const auto plan = zarnctl({"plan", "-ldap_ssl_cacert", kCert, "-branch", "brevik1", "-suffix", "o=zarn",
                             "-sec_master_pwd", kPwd});
  ASSERT_EQ(plan.exit_status, 2) << describe(plan);
  EXPECT_EQ(host_snapshot(), before);
  EXPECT_EQ(plan.out.find(kPwd), std::string::npos);
  auto sections = sections_of(plan.out);

  const auto r = zarncfg(first_args());
  ASSERT_EQ(r.exit_status, 0) << describe(r);

  // The files, byte for byte.
  const auto files = created_files(sections["Files"]);
  EXPECT_EQ(files.size(), 5u) << plan.out;
  for (const auto& [path, text] : files) EXPECT_EQ(read_file(path), text) << path;

  // The links, all of them.
  std::vector<std::string> links;
  for (const auto& link : kStopLinks) links.push_back("create " + link + " -> " + link_target(link));
  for (const auto& link : kStartLinks) links.push_back("create " + link + " -> " + link_target(link));
  std::sort(links.begin(), links.end());
  EXPECT_EQ(sections["Links"], links);

  // The commands in their order; the follow-up of the event console is
  // the one the log does not name.
  std::vector<std::string> commands = sections["Commands"];
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), "/opt/zarn/bin/zarnevccfg -autostart off -sec_master_pwd ******** > /dev/null 2>&1");
  commands.pop_back();
  EXPECT_EQ(commands, logged_commands(log_text()));
  EXPECT_NE(invocations().find("zarnevccfg -autostart off"), std::string::npos);

  EXPECT_EQ(sections["Registration"],
            std::vector<std::string>{"register zarnd/zarnhost with the Varden Policy Server"});
  EXPECT_EQ(store_users(), "zarnd/zarnhost\n");
  EXPECT_EQ(sections["Policy"], (std::vector<std::string>{"load /opt/zarn/etc/brevik.once-only: 2 commands",
                                                          "load /opt/zarn/etc/brevik.per-policy: 2 commands",
                                                          "load /opt/zarn/etc/brevik.per-machine: 2 commands"}));
}

// Such a run writes the same files and makes the same links again, and it
// applies the login policy again: only that command remains to be shown.
// A fault injected for the next run stays for that run: the plan's look at
// the store uses none of them up.
TEST_F(ZarnctlTest, PlanLeavesInjectedFaultsForTheRun) {
  ASSERT_EQ(sh("/opt/Varden/bin/kxadmin fault objectspace_list").exit_status, 0);
  ASSERT_EQ(sh("/opt/Varden/bin/kxadmin fault user_list").exit_status, 0);
  const std::string faults = sh("/opt/Varden/bin/kxadmin fault list").out;
  const auto plan = zarnctl({"plan", "-ldap_ssl_cacert", kCert, "-branch", "brevik1", "-suffix", "o=zarn",
                             "-sec_master_pwd", kPwd});
  EXPECT_EQ(plan.exit_status, 2) << describe(plan);
  EXPECT_EQ(sh("/opt/Varden/bin/kxadmin fault list").out, faults);
}

TEST_F(ZarnctlTest, PlanOfAConfiguredHostWithNothingNewShowsOnlyItsCommands) {
  configure_first();
  const std::string before = host_snapshot();
  const auto plan = zarnctl({"plan"});
  EXPECT_EQ(plan.exit_status, 2) << describe(plan);
  auto sections = sections_of(plan.out);
  EXPECT_EQ(sections.count("Files") + sections.count("Links") + sections.count("Registration") +
                sections.count("Policy"),
            0u)
      << plan.out;
  ASSERT_EQ(sections["Commands"].size(), kStartLinks.size() + 1) << plan.out;
  EXPECT_EQ(sections["Commands"].back(), "/opt/zarn/bin/zarnlpadm -c on");
  EXPECT_EQ(host_snapshot(), before);
}

TEST_F(ZarnctlTest, PlanSaysThatTheLogRoutersStepsAreNotShown) {
  configure_first();
  const auto plan = zarnctl({"plan", "-lrd_config", "on", "-sec_master_pwd", kPwd});
  EXPECT_EQ(plan.exit_status, 2) << describe(plan);
  EXPECT_EQ(sections_of(plan.out)["Not shown"],
            std::vector<std::string>{"the steps of the log router daemon (-lrd_config, -lrd_logs, -lrd_log_entries)"});
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnlrd.conf"));
}

TEST_F(ZarnctlTest, PlanReportsEveryMissingPrerequisiteAtOnce) {
  sh("rmdir /etc/rc.d/rc3.d && rm /opt/Varden/etc/vd.conf " + std::string(kCert));
  const std::string before = host_snapshot();
  const auto plan = zarnctl({"plan", "-ldap_ssl_cacert", kCert, "-branch", "brevik1", "-suffix", "o=zarn",
                             "-sec_master_pwd", kPwd});
  EXPECT_EQ(plan.exit_status, 1) << describe(plan);
  for (const std::string expected :
       {"ZRNCF1362E   Varden Runtime has not been properly configured.\n",
        "ZRNCF1440E   The run-level folder /etc/rc.d/rc3.d does not exist, so the link /etc/rc.d/rc3.d/S87kbrevik "
        "cannot be created.\n",
        "ZRNCF1441E   The certificate file /etc/ssl/zarn-ca.pem cannot be read: No such file or directory.\n"}) {
    EXPECT_NE(plan.out.find(expected), std::string::npos) << plan.out;
  }
  EXPECT_EQ(count_of(plan.out, "ZRNCF1440E"), 1u) << plan.out;
  EXPECT_EQ(host_snapshot(), before);
}

TEST_F(ZarnctlTest, PlanReportsAMissingPasswordWithoutAsking) {
  const auto plan = zarnctl({"plan", "-ldap_ssl_cacert", kCert, "-branch", "brevik1", "-suffix", "o=zarn"});
  EXPECT_EQ(plan.exit_status, 1) << describe(plan);
  EXPECT_NE(plan.out.find("ZRNCF1443E   The security master password was not given. A plan does not prompt for it.\n"),
            std::string::npos)
      << plan.out;
  EXPECT_FALSE(host().exists(kZarncfgLog));
}

TEST_F(ZarnctlTest, PlanOfAWrongPasswordOrATakenNameFindsIt) {
  auto plan = zarnctl({"plan", "-ldap_ssl_cacert", kCert, "-branch", "brevik1", "-suffix", "o=zarn",
                       "-sec_master_pwd", "Wr0ng"});
  EXPECT_EQ(plan.exit_status, 1) << describe(plan);
  EXPECT_NE(plan.out.find("ZRNCF1377E"), std::string::npos) << plan.out;
  // A host re-imaged after its configuration: the server still holds its name.
  configure_first();
  sh("rm /opt/zarn/etc/zarnd.conf");
  plan = zarnctl({"plan", "-ldap_ssl_cacert", kCert, "-branch", "brevik1", "-suffix", "o=zarn", "-sec_master_pwd",
                  kPwd});
  EXPECT_EQ(plan.exit_status, 1) << describe(plan);
  EXPECT_NE(plan.out.find("ZRNCF1420E   The Varden Policy Server already holds the registration zarnd/zarnhost"),
            std::string::npos)
      << plan.out;
}

// ---- status ----

TEST_F(ZarnctlTest, StatusOfAFreshThenAConfiguredHost) {
  nlohmann::json s = status();
  EXPECT_EQ(s["configured"], false);
  EXPECT_EQ(s["last_run"]["outcome"], "none");
  EXPECT_TRUE(s["branch"].is_null());

  configure_first();
  s = status();
  EXPECT_EQ(s["configured"], true);
  EXPECT_EQ(s["branch"], "brevik1");
  EXPECT_EQ(s["suffix"], "o=zarn");
  EXPECT_EQ(s["registered_name"], "zarnd/zarnhost");
  EXPECT_EQ(s["autostart_links"].size(), kStartLinks.size() + kStopLinks.size());
  EXPECT_EQ(s["last_run"]["outcome"], "succeeded");
  EXPECT_TRUE(s["last_run"]["closing_code"].is_null());
  EXPECT_TRUE(s["unfinished_run"].is_null());
  const auto text = zarnctl({"status"});
  EXPECT_EQ(text.exit_status, 0);
  EXPECT_NE(text.out.find("configured: yes\nbranch: brevik1\n"), std::string::npos) << text.out;
}

TEST_F(ZarnctlTest, StatusAfterAFailedRunNamesItsCause) {
  fail_tool("certbind-config");
  const auto r = zarncfg(first_args());
  ASSERT_EQ(r.exit_status, 1) << describe(r);
  const nlohmann::json s = status();
  EXPECT_EQ(s["configured"], false);
  EXPECT_EQ(s["last_run"]["outcome"], "failed");
  EXPECT_EQ(s["last_run"]["closing_code"], "ZRNCF0021E");
  EXPECT_EQ(s["last_run"]["cause_code"], "ZRNCF1304E");
}

TEST_F(ZarnctlTest, StatusAfterAKilledRunTellsALiveRunFromADeadOne) {
  write_file("/var/zarn/run/hold.certbind-config", "");
  auto killed = std::async(std::launch::async, [this] { return zarncfg(first_args()); });
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!host().exists("/var/zarn/run/held.certbind-config")) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    std::this_thread::sleep_for(10ms);
  }
  const pid_t pid = static_cast<pid_t>(std::stol(read_file("/var/zarn/run/zarncfg.lock")));
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  EXPECT_EQ(killed.get().term_signal, SIGKILL);

  // The tool it started still holds the host's lock: the run is live, and
  // a plan waits for no one but says so.
  nlohmann::json s = status();
  EXPECT_EQ(s["last_run"]["outcome"], "unfinished");
  EXPECT_EQ(s["unfinished_run"]["pid"], pid);
  EXPECT_EQ(s["unfinished_run"]["live"], true);
  EXPECT_EQ(s["run_in_progress"], pid);
  const auto plan = zarnctl({"plan"});
  EXPECT_EQ(plan.exit_status, 1);
  EXPECT_NE(plan.out.find("ZRNCF1395E"), std::string::npos) << plan.out;

  sh("rm -f /var/zarn/run/hold.certbind-config");
  while (!hostsim::processes_in_host(host().dir()).empty()) std::this_thread::sleep_for(10ms);
  s = status();
  EXPECT_EQ(s["last_run"]["outcome"], "unfinished");
  EXPECT_EQ(s["unfinished_run"]["pid"], pid);
  EXPECT_EQ(s["unfinished_run"]["live"], false);
  EXPECT_TRUE(s["run_in_progress"].is_null());
  const auto plan_after = zarnctl({"plan"});
  EXPECT_EQ(plan_after.exit_status, 1);
  EXPECT_NE(plan_after.out.find("ZRNCF1444E   A run of zarncfg, process " + std::to_string(pid) + ", ended"),
            std::string::npos)
      << plan_after.out;

  // The next run finishes what the killed one left.
  EXPECT_EQ(zarncfg({"-version"}).exit_status, 0);
  s = status();
  EXPECT_EQ(s["last_run"]["outcome"], "informational");
  EXPECT_TRUE(s["unfinished_run"].is_null());
  EXPECT_EQ(s["unfinished_work"], 1);
}

}  // namespace
}  // namespace e2e
