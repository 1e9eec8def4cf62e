// End to end: configurations that fail at one step, and what the run undoes:
// the policy commands it applied (one dot each), the registration of a host
// that was not configured before, and the configuration files it changed.
#include "e2e/config_fixture.h"

namespace e2e {
namespace {

const std::string kAuditdBefore = "[zarnauditd]\nlogs = 5\n";
const std::string kBrevikBefore = "[cache]\ndns = on\n";
// brevik.conf as a first configuration writes it over kBrevikBefore: the
// entry only read from the file stays, the options of the run are added.
const std::string kBrevikWritten = "[cache]\ndns = on\n\n[policy]\nbranch = brevik1\n\n[ffdc]\ncapture = on\n";
const std::string kAllPolicyRolledBack = kRollBack + "......\n" + kUnregister + kFailed;

// A host with files of an earlier, never completed installation: files the
// run changes and must put back as they were, owner and mode included.
class ConfigFailureTest : public ConfigTest {
 protected:
  void SetUp() override {
    ConfigTest::SetUp();
    write_file("/opt/zarn/etc/zarnauditd.conf", kAuditdBefore, 0640);
    write_file("/opt/zarn/etc/brevik.conf", kBrevikBefore, 0600);
    ASSERT_EQ(sh("chown brevik:brevik /opt/zarn/etc/zarnauditd.conf && chown root:brevik /opt/zarn/etc/brevik.conf")
                  .exit_status,
              0);
    store_before_ = store_dump();
  }

  void expect_earlier_files_restored() {
    EXPECT_EQ(file_or_empty("/opt/zarn/etc/zarnauditd.conf"), kAuditdBefore);
    EXPECT_EQ(owner_of("/opt/zarn/etc/zarnauditd.conf"), "brevik:brevik\n");
    EXPECT_EQ(mode_of("/opt/zarn/etc/zarnauditd.conf"), 0640u);
    EXPECT_EQ(file_or_empty("/opt/zarn/etc/brevik.conf"), kBrevikBefore);
    EXPECT_EQ(owner_of("/opt/zarn/etc/brevik.conf"), "root:brevik\n");
    EXPECT_EQ(mode_of("/opt/zarn/etc/brevik.conf"), 0600u);
    EXPECT_EQ(sh("ls /opt/zarn/etc | grep '[.]bak$'").out, "");
    // zarnd.conf, absent before, stays only as ".partial".
    EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnd.conf"));
  }

  // After a failure in the configuration steps of a first configuration.
  void expect_first_configuration_undone() {
    expect_earlier_files_restored();
    EXPECT_EQ(file_or_empty("/opt/zarn/etc/brevik.conf.partial"), kBrevikWritten);
    EXPECT_EQ(stanza_value(file_or_empty("/opt/zarn/etc/zarnd.conf.partial"), "zarncfg", "suffix"), "o=zarn");
    EXPECT_EQ(stanza_value(file_or_empty("/opt/zarn/etc/zarnd.conf.partial"), "zarncfg", "state"), std::nullopt);
    EXPECT_EQ(store_dump(), store_before_);
    EXPECT_FALSE(host().exists("/var/zarn/certs/zarnd.kdb"));
    EXPECT_FALSE(host().exists("/var/zarn/certs/zarnd.sth"));
    EXPECT_FALSE(host().exists("/var/zarn/run/zarnevcd.autostart"));
    EXPECT_EQ(count_of(invocations(), "/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -unconfig -n zarnd\n"), 1u);
  }

  std::string store_before_;
};

TEST_F(ConfigFailureTest, CertificateCopy) {
  sh("rm -rf /var/zarn/certs && echo not a directory > /var/zarn/certs");

  const auto r = zarncfg(first_args());

  EXPECT_EQ(r.out, kInputHead + "ZRNCF1371E   Unable to copy /etc/ssl/zarn-ca.pem to /var/zarn/certs/zarn-ca.pem.\n" +
                       kFailed)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  expect_earlier_files_restored();
  // Nothing was written: the partial brevik.conf is the earlier one.
  EXPECT_EQ(read_file("/opt/zarn/etc/brevik.conf.partial"), kBrevikBefore);
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnd.conf.partial"));
  EXPECT_EQ(invocations(), "");
  EXPECT_EQ(store_dump(), store_before_);
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnwdd.conf"));
}

TEST_F(ConfigFailureTest, RegistrationTool) {
  fail_tool("certbind-config");

  const auto r = zarncfg(first_args());

  // The tool failed before it registered, so its unregistration fails too.
  EXPECT_EQ(r.out, kFirstRunHead + "ZRNCF1304E   Registering with Varden Policy Server failed with error code 7.\n" +
                       kRollBack + "\n" + kUnregister +
                       "ZRNCF1366E   Unregistering with Varden Policy Server failed with error code 4.\n" + kFailed)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  expect_first_configuration_undone();
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnwdd.conf"));
}

TEST_F(ConfigFailureTest, PolicyCommand) {
  ASSERT_EQ(sh("/opt/Varden/bin/kxadmin fault group_create2 brevik-servers").exit_status, 0);

  const auto r = zarncfg(first_args());

  EXPECT_EQ(r.out, kFirstRunHead + "Registering the Zarn product policy. \n.\n" +
                       "ZRNCF1353E   Varden command group_create failed. \n" + kRollBack + ".\n" + kUnregister +
                       kFailed)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  expect_first_configuration_undone();
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnwdd.conf"));
  EXPECT_EQ(sh("/opt/Varden/bin/kxadmin fault list").out, "");
}

TEST_F(ConfigFailureTest, LeaseOnSharedPolicy) {
  ASSERT_EQ(sh("/opt/Varden/bin/kxadmin fault kxadmin_lease_take /BREVIK").exit_status, 0);

  const auto r = zarncfg(first_args());

  EXPECT_EQ(r.out, kFirstRunHead +
                       "ZRNCF1430E   The lease on the policy /BREVIK could not be taken on the Varden Policy Server.\n" +
                       kRollBack + "\n" + kUnregister + kFailed)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  // The store's reason is in the log.
  EXPECT_NE(host().log_text().find("injected fault in kxadmin_lease_take"), std::string::npos) << host().log_text();
  expect_first_configuration_undone();
  EXPECT_EQ(sh("/opt/Varden/bin/kxadmin fault list").out, "");
  EXPECT_EQ(sh("/opt/Varden/bin/kxadmin lease list").out, "");
}

TEST_F(ConfigFailureTest, TrustedComputingBase) {
  fail_tool("zarnd-T", "3");

  const auto r = zarncfg(first_args());

  EXPECT_EQ(r.out, kFirstRunHead + kPolicyLoad + kTcb + "ZRNCF1327E   The ZARND daemon failed with error code 3.\n" +
                       kAllPolicyRolledBack)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  expect_first_configuration_undone();
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnwdd.conf"));
}

TEST_F(ConfigFailureTest, ConfigurationFileWriteBack) {
  // An empty file on the host's read-only /usr reads as an empty stanza
  // file, but nothing can be written back beside it.
  const auto empty = sh("find /usr -xdev -type f -empty -print -quit");
  if (empty.out.empty()) GTEST_SKIP() << "no empty file under /usr";
  ASSERT_EQ(sh("ln -s " + empty.out.substr(0, empty.out.size() - 1) + " /opt/zarn/etc/zarnwdd.conf").exit_status, 0);

  const auto r = zarncfg(first_args({"-zarnwdd_logs", "4"}));

  EXPECT_EQ(r.out, kFirstRunHead + kPolicyLoad + kTcb +
                       "Configuring the ZARNAUDITD daemon. \nConfiguring the ZARNWDD daemon. \n"
                       "ZRNCF1305E   Opening the configuration file failed with error code 492437507.\n" +
                       kAllPolicyRolledBack)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_NE(log_text().find("/opt/zarn/etc/zarnwdd.conf: cannot write back: "), std::string::npos);
  ASSERT_EQ(sh("rm /opt/zarn/etc/zarnwdd.conf").exit_status, 0);
  expect_first_configuration_undone();
}

TEST_F(ConfigFailureTest, MissingKernelScript) {
  sh("rm /etc/rc.d/init.d/kbrevik");

  const auto r = zarncfg(first_args());

  const std::string no_script =
      "ZRNCF1311E   The soft link to /etc/rc.d/init.d/kbrevik could not be created because it does not exist. \n";
  EXPECT_EQ(r.out, kFirstRunHead + kPolicyLoad + kTcb + kOtherDaemons + no_script + no_script + no_script +
                       kAllPolicyRolledBack)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  for (const std::string& link : kStopLinks) {
    EXPECT_EQ(link_target(link), link.ends_with("kbrevik") ? "" : "/etc/rc.d/init.d/brevik") << link;
  }
  EXPECT_EQ(count_links(kStartLinks), 0);
  expect_first_configuration_undone();
  // A file that did not exist before the run has no backup to restore.
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnwdd.conf"), "");
}

TEST_F(ConfigFailureTest, LoginPolicyTool) {
  fail_tool("zarnlpadm");

  const auto r = zarncfg(first_args());

  EXPECT_EQ(r.out, kFirstRunHead + kPolicyLoad + kTcb + kOtherDaemons +
                       "ZRNCF1369E   The zarnlpadm process did not complete successfully.\n" + kAllPolicyRolledBack)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  expect_first_configuration_undone();
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnwdd.conf"), "");
}

TEST_F(ConfigTest, FailedReconfigurationRestoresTheBackupsAndKeepsTheRegistration) {
  configure_first();
  sh("chmod 0640 /opt/zarn/etc/zarnd.conf && chown brevik /opt/zarn/etc/zarnd.conf");
  const std::string zarnd_before = read_file("/opt/zarn/etc/zarnd.conf");
  const std::string store_before = store_dump();
  fail_tool("zarnlpadm");

  const auto r = zarncfg({"-zarnd_logs", "9"});

  EXPECT_EQ(r.out, kReconfigHead + kOtherDaemons + "ZRNCF1369E   The zarnlpadm process did not complete successfully.\n" +
                       kRollBack + "\n" + kFailed)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnd.conf"), zarnd_before);
  EXPECT_EQ(owner_of("/opt/zarn/etc/zarnd.conf"), "brevik:brevik\n");
  EXPECT_EQ(mode_of("/opt/zarn/etc/zarnd.conf"), 0640u);
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnd.conf.partial"));
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnd.conf.bak"));
  EXPECT_EQ(invocations(), "/opt/zarn/bin/zarnlpadm -c on\n");
  EXPECT_EQ(store_dump(), store_before);
}

}  // namespace
}  // namespace e2e
