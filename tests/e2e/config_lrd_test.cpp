// End to end: the log router daemon configured, reconfigured and
// unconfigured on a configured simulated host.
#include "e2e/config_fixture.h"

namespace e2e {
namespace {

const std::string kLrdHead = kInputHead + "Configuring Zarn. \n";

TEST_F(ConfigTest, LogRouterOnOffAndAgain) {
  configure_first();
  write_file("/opt/zarn/etc/zarnlrd.xml", "<old/>\n");
  const std::string tmpl = read_file("/opt/zarn/etc/zarnlrd.xml.template");

  auto r = zarncfg({"-lrd_config", "on", "-sec_master_pwd", kPwd});
  EXPECT_EQ(r.out, kLrdHead + "Configuring the ZARNLRD daemon.\nConfiguring the ZARND daemon. \n" + kOtherDaemons +
                       kSuccess)
      << describe(r);
  EXPECT_EQ(stanza_value(read_file("/opt/zarn/etc/zarnlrd.conf"), "zarnlrd", "state"), "on");
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnlrd.xml"), tmpl);
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnlrd.xml.bak"), "<old/>\n");
  EXPECT_TRUE(host().exists("/var/zarn/certs/zarnlrd.kdb"));
  EXPECT_EQ(sh("/opt/Varden/bin/kxadmin user list 'zarnlrd/*'").out, std::string("zarnlrd/") + kHost + "\n");
  EXPECT_NE(invocations().find(std::string("/opt/Varden/bin/certbind -config -f /opt/zarn/etc/zarnlrd.conf "
                                           "-d /var/zarn/certs -n zarnlrd -s remote -P ") +
                               kPwd + " -S - -r 7777\n"),
            std::string::npos);
  EXPECT_EQ(log_text().find("-n zarnlrd"), std::string::npos);

  r = zarncfg({"-lrd_config", "on", "-sec_master_pwd", kPwd});
  EXPECT_NE(r.out.find("ZARNLRD has already been configured.\n"), std::string::npos) << describe(r);

  sh("rm -f /var/zarn/run/standins.log");
  r = zarncfg({"-lrd_config", "off", "-sec_master_pwd", kPwd});
  EXPECT_NE(r.out.find("Unconfiguring the ZARNLRD daemon.\n"), std::string::npos) << describe(r);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnlrd.conf"));
  EXPECT_FALSE(host().exists("/var/zarn/certs/zarnlrd.kdb"));
  EXPECT_EQ(sh("/opt/Varden/bin/kxadmin user list 'zarnlrd/*'").out, "");
  EXPECT_NE(invocations().find(std::string("/opt/Varden/bin/certbind -unconfig -f /opt/zarn/etc/zarnlrd.conf "
                                           "-n zarnlrd -P ") + kPwd + "\n"),
            std::string::npos);
}

TEST_F(ConfigTest, LogRouterOffWithLogsRewritesThenUnconfigures) {
  configure_first();
  ASSERT_EQ(zarncfg({"-lrd_config", "on", "-sec_master_pwd", kPwd}).exit_status, 0);
  const auto r = zarncfg({"-lrd_config", "off", "-lrd_logs", "4", "-sec_master_pwd", kPwd});
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  const auto at_already = r.out.find("ZARNLRD has already been configured.\n");
  const auto at_unconfig = r.out.find("Unconfiguring the ZARNLRD daemon.\n");
  ASSERT_NE(at_already, std::string::npos) << r.out;
  EXPECT_GT(at_unconfig, at_already);
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnlrd.conf"));
}

TEST_F(ConfigTest, LogRouterValueOnWithCapitalDoesNothing) {
  configure_first();
  const auto r = zarncfg({"-lrd_config", "On", "-sec_master_pwd", kPwd});
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(r.out.find("ZARNLRD"), std::string::npos) << r.out;
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnlrd.conf"));
  EXPECT_EQ(invocations().find("certbind"), std::string::npos);
}

TEST_F(ConfigTest, PlantedLinkAtTheToolOutputIsNotWrittenThrough) {
  configure_first();
  write_file("/etc/victim", "precious\n");
  sh("ln -s /etc/victim /tmp/.zarn_config");
  fail_tool("certbind-config", "2");  // the tool's complaint would go to the output file

  const auto r = zarncfg({"-lrd_config", "on", "-sec_master_pwd", kPwd});

  EXPECT_EQ(r.exit_status, 1) << describe(r);
  EXPECT_NE(r.out.find("ZRNCF1391E   The configuration of the ZARNLRD daemon failed.\n"), std::string::npos);
  EXPECT_EQ(read_file("/etc/victim"), "precious\n");
  EXPECT_EQ(link_target("/tmp/.zarn_config"), "/etc/victim");
}

TEST_F(ConfigTest, LogRouterStateThatCannotBeWrittenFailsTheRun) {
  configure_first();
  // An empty file on the host's read-only /usr: it reads as an empty stanza
  // file, but the write-back of the state entry beside it must fail.
  const auto empty = sh("find /usr -xdev -type f -empty -print -quit");
  if (empty.out.empty()) GTEST_SKIP() << "no empty file under /usr";
  const std::string target = empty.out.substr(0, empty.out.size() - 1);
  ASSERT_EQ(sh("ln -s " + target + " /opt/zarn/etc/zarnlrd.conf").exit_status, 0);
  const std::string zarnd_before = read_file("/opt/zarn/etc/zarnd.conf");

  const auto r = zarncfg({"-lrd_config", "on", "-sec_master_pwd", kPwd});

  // The registration the tool made is undone, so that it agrees with the
  // file that says the router is not configured.
  EXPECT_EQ(r.out, kLrdHead + "Configuring the ZARNLRD daemon.\n" +
                       "ZRNCF1305E   Opening the configuration file failed with error code 492437507.\n" +
                       "Unconfiguring the ZARNLRD daemon.\n" + kFailed)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(sh("/opt/Varden/bin/kxadmin user list 'zarnlrd/*'").out, "");
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnlrd.conf"), "");
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnlrd.xml"));
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnd.conf"), zarnd_before);
  EXPECT_NE(log_text().find("/opt/zarn/etc/zarnlrd.conf: cannot write back: "), std::string::npos);
}

}  // namespace
}  // namespace e2e
