// End to end: a run is a transaction on its host.  One run at a time;
// signals end a run through its roll-back; a killed run is finished by the
// next; the log router's file agrees with its registration; linked files
// are backed up and restored through their links; nothing in /tmp or
// behind a link is written or handed over that the program did not mean.
#include <signal.h>

#include <chrono>
#include <future>
#include <thread>

#include "e2e/config_fixture.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

const std::string kLrdUser = std::string("zarnlrd/") + kHost + "\n";
const std::string kZarndUser = std::string("zarnd/") + kHost + "\n";

class TransactionTest : public ConfigTest {
 protected:
  // Waits until the host shows the file; a guard against a hung run only.
  void await(std::string_view in_host) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!host().exists(in_host)) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << in_host << " never appeared";
      std::this_thread::sleep_for(10ms);
    }
  }
  // A run in the background, held in the stand-in `tool` (a hold name).
  std::future<hostsim::RunResult> run_held_in(const std::string& tool, std::vector<std::string> args) {
    write_file("/var/zarn/run/hold." + tool, "");
    auto run = std::async(std::launch::async, [this, args] { return zarncfg(args); });
    await("/var/zarn/run/held." + tool);
    return run;
  }
  pid_t running_zarncfg() { return static_cast<pid_t>(std::stol(read_file("/var/zarn/run/zarncfg.lock"))); }
  std::string lrd_state() {
    return host().exists("/opt/zarn/etc/zarnlrd.conf")
               ? stanza_value(read_file("/opt/zarn/etc/zarnlrd.conf"), "zarnlrd", "state").value_or("")
               : "";
  }
  std::string lrd_users() { return sh("/opt/Varden/bin/kxadmin user list 'zarnlrd/*'").out; }
  std::string zarnd_users() { return sh("/opt/Varden/bin/kxadmin user list 'zarnd/*'").out; }
};

// ---- The log router's file agrees with its registration ----

TEST_F(TransactionTest, FailedRunThatConfiguredTheLogRouterUnregistersIt) {
  configure_first();
  fail_tool("zarnlpadm");
  auto r = zarncfg({"-lrd_config", "on", "-sec_master_pwd", kPwd});
  EXPECT_EQ(r.exit_status, 1) << describe(r);
  EXPECT_NE(r.out.find("ZRNCF1369E   The zarnlpadm process did not complete successfully.\n" + kRollBack +
                       "\nUnconfiguring the ZARNLRD daemon.\n" + kFailed),
            std::string::npos)
      << r.out;
  EXPECT_EQ(lrd_state(), "");
  EXPECT_EQ(lrd_users(), "");
  sh("rm -f /var/zarn/run/fail.zarnlpadm");
  r = zarncfg({"-lrd_config", "on", "-sec_master_pwd", kPwd});
  EXPECT_NE(r.out.find("Configuring the ZARNLRD daemon.\n"), std::string::npos) << describe(r);
  EXPECT_EQ(lrd_state(), "on");
  EXPECT_EQ(lrd_users(), kLrdUser);
}

TEST_F(TransactionTest, FailedRunThatUnconfiguredTheLogRouterRegistersItAgain) {
  configure_first();
  ASSERT_EQ(zarncfg({"-lrd_config", "on", "-sec_master_pwd", kPwd}).exit_status, 0);
  fail_tool("zarnlpadm");
  auto r = zarncfg({"-lrd_config", "off", "-sec_master_pwd", kPwd});
  EXPECT_EQ(r.exit_status, 1) << describe(r);
  EXPECT_NE(r.out.find(kRollBack + "\nConfiguring the ZARNLRD daemon.\n" + kFailed), std::string::npos) << r.out;
  EXPECT_EQ(lrd_state(), "on");
  EXPECT_EQ(lrd_users(), kLrdUser);
  sh("rm -f /var/zarn/run/fail.zarnlpadm");
  r = zarncfg({"-lrd_config", "off", "-sec_master_pwd", kPwd});
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(lrd_state(), "");
  EXPECT_EQ(lrd_users(), "");
}

TEST_F(TransactionTest, LogRouterChangeThatCannotBeUndoneKeepsTheFileThatAgreesWithIt) {
  configure_first();
  fail_tool("zarnlpadm");
  fail_tool("certbind-unconfig");
  const auto r = zarncfg({"-lrd_config", "on", "-sec_master_pwd", kPwd});
  EXPECT_EQ(r.exit_status, 1) << describe(r);
  EXPECT_NE(r.out.find("Unconfiguring the ZARNLRD daemon.\nZRNCF1403W   The registration of the ZARNLRD daemon "
                       "could not be changed back. /opt/zarn/etc/zarnlrd.conf is kept as it is, in agreement with "
                       "the registration.\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(lrd_state(), "on");
  EXPECT_EQ(lrd_users(), kLrdUser);
}

// ---- Links, /tmp and owners ----

TEST_F(TransactionTest, LinkedConfigurationFileIsBackedUpAndRestoredThroughItsLink) {
  configure_first();
  sh("mkdir -p /etc/zarn-local && mv /opt/zarn/etc/zarnwdd.conf /etc/zarn-local/zarnwdd.conf && "
     "chown root:root /etc/zarn-local/zarnwdd.conf && chmod 0640 /etc/zarn-local/zarnwdd.conf && "
     "ln -s /etc/zarn-local/zarnwdd.conf /opt/zarn/etc/zarnwdd.conf");
  const std::string before = read_file("/etc/zarn-local/zarnwdd.conf");
  fail_tool("zarnlpadm");
  const auto r = zarncfg({"-zarnwdd_logs", "7"});
  EXPECT_EQ(r.exit_status, 1) << describe(r);
  EXPECT_EQ(link_target("/opt/zarn/etc/zarnwdd.conf"), "/etc/zarn-local/zarnwdd.conf");
  EXPECT_EQ(read_file("/etc/zarn-local/zarnwdd.conf"), before);
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnwdd.conf.bak"));
  sh("rm -f /var/zarn/run/fail.zarnlpadm");
  ASSERT_EQ(zarncfg({"-zarnwdd_logs", "7"}).exit_status, 0);
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnwdd.conf.bak"), before);
  EXPECT_EQ(link_target("/opt/zarn/etc/zarnwdd.conf.bak"), "");
  // Written through the link, but its target keeps its owner and mode.
  EXPECT_EQ(stanza_value(read_file("/etc/zarn-local/zarnwdd.conf"), "zarnwdd", "logs"), "7");
  EXPECT_EQ(owner_of("/etc/zarn-local/zarnwdd.conf"), "root:root\n");
  EXPECT_EQ(mode_of("/etc/zarn-local/zarnwdd.conf"), 0640u);
  EXPECT_NE(log_text().find("ZRNCF1404W   The file /opt/zarn/etc/zarnwdd.conf is a symbolic link."),
            std::string::npos);
}

TEST_F(TransactionTest, BackupThatCannotBeTakenFailsTheRunBeforeAnythingChanges) {
  configure_first();
  sh("rm -f /opt/zarn/etc/zarnwdd.conf.bak && mkdir /opt/zarn/etc/zarnwdd.conf.bak && "
     "touch /opt/zarn/etc/zarnwdd.conf.bak/keep");
  const std::string before = read_file("/opt/zarn/etc/zarnwdd.conf");
  const auto r = zarncfg({"-zarnwdd_logs", "7"});
  EXPECT_EQ(r.exit_status, 1) << describe(r);
  EXPECT_EQ(r.out.rfind("ZRNCF1402E   The configuration file /opt/zarn/etc/zarnwdd.conf could not be backed up: "
                        "remove /opt/zarn/etc/zarnwdd.conf.bak: Directory not empty.\n" + kFailed, 0),
            0u)
      << r.out;
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnwdd.conf"), before);
}

TEST_F(TransactionTest, FifoOrHardLinkAtTheToolsOutputFileIsNeverWritten) {
  configure_first();
  sh("mkfifo /tmp/.zarn_config && chmod 0666 /tmp/.zarn_config");
  auto r = zarncfg({"-lrd_config", "on", "-sec_master_pwd", kPwd});
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(sh("test -p /tmp/.zarn_config && echo fifo").out, "fifo\n");
  ASSERT_EQ(zarncfg({"-lrd_config", "off", "-sec_master_pwd", kPwd}).exit_status, 0);
  sh("rm -f /tmp/.zarn_config && ln /opt/zarn/etc/zarnd.conf /tmp/.zarn_config");
  const std::string zarnd_conf = read_file("/opt/zarn/etc/zarnd.conf");
  r = zarncfg({"-lrd_config", "on", "-sec_master_pwd", kPwd});
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnd.conf"), zarnd_conf);
  EXPECT_NE(log_text().find("The output file /tmp/.zarn_config is not safe to write"), std::string::npos);
}

TEST_F(TransactionTest, LinkedMessageLogsTargetKeepsItsOwnerAndMode) {
  sh("mkdir -p /root && printf 'root only\\n' > /root/private && chmod 0600 /root/private && "
     "ln -sf /root/private /var/zarn/log/msg__zarncfg.log");
  const auto r = zarncfg(first_args());
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(owner_of("/root/private"), "root:root\n");
  EXPECT_EQ(mode_of("/root/private"), 0600u);
  // The log itself is never written through a link.
  EXPECT_EQ(read_file("/root/private"), "root only\n");
}

// ---- One run per host ----

TEST_F(TransactionTest, SecondRunIsRefusedAndChangesNothing) {
  configure_first();
  sh("rm -f /opt/zarn/etc/*.bak");
  auto first = run_held_in("certbind-chgport", {"-ssl_listening_port", "7300", "-sec_master_pwd", kPwd});
  const pid_t holder = running_zarncfg();
  const std::string bak = read_file("/opt/zarn/etc/zarnd.conf.bak");
  const auto second = zarncfg({"-version"});
  EXPECT_EQ(second.exit_status, 1) << describe(second);
  EXPECT_EQ(second.out, "ZRNCF1395E   Another run of zarncfg, process " + std::to_string(holder) +
                            ", is in progress on this host. Nothing has been changed; run zarncfg again when it has "
                            "ended.\n" + kFailed);
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnd.conf.bak"), bak);
  sh("rm -f /var/zarn/run/hold.certbind-chgport");
  const auto r = first.get();
  EXPECT_EQ(r.exit_status, 0) << describe(r);
}

// ---- Signals end a run through its roll-back ----

TEST_F(TransactionTest, SignalWhileAToolRunsIsPassedOnAndTheRunRollsBack) {
  const std::string store_before = store_dump();
  auto run = run_held_in("certbind-config", first_args());
  ASSERT_EQ(::kill(running_zarncfg(), SIGTERM), 0);
  const auto r = run.get();
  EXPECT_EQ(r.exit_status, 1) << describe(r);
  // The tool ended by the signal it was passed (128 + 15), then the run.
  EXPECT_NE(r.out.find("ZRNCF1304E   Registering with Varden Policy Server failed with error code 143.\n"
                       "ZRNCF1396E   The configuration process was interrupted by signal SIGTERM.\n" +
                       kRollBack + "\n" + kUnregister +
                       "ZRNCF1366E   Unregistering with Varden Policy Server failed with error code 4.\n" + kFailed),
            std::string::npos)
      << r.out;
  EXPECT_EQ(store_dump(), store_before);
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnd.conf"));
  EXPECT_TRUE(host().exists("/opt/zarn/etc/zarnd.conf.partial"));
  EXPECT_FALSE(host().exists("/var/zarn/run/zarncfg.run"));
}

TEST_F(TransactionTest, ClosedStandardOutputNeverStopsARun) {
  std::string command = kZarncfg;
  for (const std::string& arg : first_args()) command += " " + arg;
  const auto r = sh("(" + command + "; echo $? > /tmp/status) | head -1");
  EXPECT_EQ(r.out, "Gathering information. \n") << describe(r);
  EXPECT_EQ(read_file("/tmp/status"), "0\n");
  EXPECT_EQ(stanza_value(read_file("/opt/zarn/etc/zarnd.conf"), "zarncfg", "state"), "on");
}

// ---- A killed run is finished by the next ----

TEST_F(TransactionTest, KilledFirstConfigurationIsFinishedByTheNextRuns) {
  auto killed = run_held_in("certbind-config", first_args());
  const pid_t pid = running_zarncfg();
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  EXPECT_EQ(killed.get().term_signal, SIGKILL);
  // The tool goes on after the kill, registers the host, and holds the
  // host's lock until it ends.
  sh("rm -f /var/zarn/run/hold.certbind-config");
  while (!hostsim::processes_in_host(host().dir()).empty()) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(zarnd_users(), kZarndUser);
  const std::string killed_note = "ZRNCF1397W   A run of zarncfg, process " + std::to_string(pid) +
                                  ", ended before it completed. The configuration files it had backed up have "
                                  "been restored.\n";

  // A run without the password puts the files back and tells what is left.
  auto r = zarncfg({"-version"});
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(r.out.rfind(killed_note, 0), 0u) << r.out;
  EXPECT_NE(r.out.find("ZRNCF1398W   A run of zarncfg, process " + std::to_string(pid) +
                       ", ended before it completed and had registered this host with the Varden Policy Server. A "
                       "run that is given the security master password unregisters it.\n"),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnd.conf"));

  // The same command again: the registration is undone first, then made.
  r = zarncfg(first_args());
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(r.out.find("ZRNCF1397W"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Validating the information. \n" + kUnregister + "Configuring Zarn. \n"), std::string::npos)
      << r.out;
  EXPECT_EQ(zarnd_users(), kZarndUser);
  EXPECT_FALSE(host().exists("/var/zarn/run/zarncfg.run"));
}

// A run killed after every step had succeeded, while the policy server
// dropped its undo records, has completed: the next run keeps its files
// and its registration, and a run with the password drops whatever undo
// records of it are left.
TEST_F(TransactionTest, ARunKilledAfterItSettledHasCompleted) {
  configure_first();
  const std::string conf = read_file("/opt/zarn/etc/zarnd.conf");
  write_file("/opt/zarn/etc/zarnd.conf.bak", "[zarncfg]\nstate = off\n");
  const std::string tag = std::string(kHost) + " 99999 1700000000";
  write_file("/var/zarn/run/zarncfg.run", "zarncfg-run-record 1\nrun " + tag +
                                              "\nconfigured-before no\nbacked-up /opt/zarn/etc/zarnd.conf\n"
                                              "registration zarnd\npolicy /opt/zarn/etc/brevik.per-machine\nsettled\n");

  auto r = zarncfg({"-version"});
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(r.out.find("ZRNCF13"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("ZRNCF14"), std::string::npos) << r.out;
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnd.conf"), conf);
  EXPECT_EQ(read_file("/var/zarn/run/zarncfg.run"), "zarncfg-run-record 1\nunfinished " + tag + " settled\n");

  r = zarncfg({"-zarnd_logs", "9", "-sec_master_pwd", kPwd});
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(r.out.find("ZRNCF14"), std::string::npos) << r.out;
  EXPECT_EQ(zarnd_users(), kZarndUser);
  EXPECT_FALSE(host().exists("/var/zarn/run/zarncfg.run"));
}

}  // namespace
}  // namespace e2e
