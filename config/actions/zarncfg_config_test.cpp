// The orchestration's own commands: the trusted computing base, the login
// policy tool and the event console follow-up, as the runner receives them,
// and what each step does when its command fails.
#include "zarncfg_config.h"

#include <string>
#include <vector>

#include "zarncfg_recording_runner.h"

namespace {

constexpr std::uint32_t kCurrent = CFG_SET | CFG_CURRENT | CFG_HAS_VALUE;

class ConfigStepTest : public StepTest {
 protected:
  void reconfiguration() { record_[IDX_CONFIG_STATE] = ConfigEntry{kCurrent, "on"}; }

  ConfigRecord record_{};
  vd_msgid_t status_ = 0;
};

TEST_F(ConfigStepTest, TrustedComputingBaseIsInitialisedOnAFirstConfigurationOnly) {
  zarncfg_init_zarnd(record_, status_);
  ASSERT_EQ(runner_.lines(), std::vector<std::string>{"/opt/zarn/bin/zarnd -T"});
  EXPECT_EQ(runner_.commands()[0].flags, "-cf");
  EXPECT_EQ(runner_.commands()[0].output.name.size(), 6u);  // the output file in the working directory
  EXPECT_EQ(status_, 0u);
  EXPECT_EQ(printed(), "Initializing the ZARND daemon's Trusted Computing Base.\n");
  reconfiguration();
  zarncfg_init_zarnd(record_, status_);
  EXPECT_EQ(runner_.lines().size(), 1u);
  EXPECT_EQ(printed(), "");
}

TEST_F(ConfigStepTest, FailedTrustedComputingBaseGivesItsExitStatus) {
  runner_.answer("/opt/zarn/bin/zarnd", 3);
  zarncfg_init_zarnd(record_, status_);
  EXPECT_EQ(status_, msg_id(1327));
  EXPECT_EQ(printed(), "Initializing the ZARND daemon's Trusted Computing Base.\n"
                       "ZRNCF1327E   The ZARND daemon failed with error code 3.\n");
  EXPECT_NE(log_text().find("ZRNCF1327E   The ZARND daemon failed with error code 3."), std::string::npos);
}

TEST_F(ConfigStepTest, LoginPolicyToolGetsTheValue) {
  write_on_host("/opt/zarn/bin/zarnlpadm");
  record_[IDX_LOGIN_POLICY] = ConfigEntry{kCurrent, "off"};
  zarncfg_configure_login_policy(record_, status_);
  EXPECT_EQ(runner_.lines(), std::vector<std::string>{"/opt/zarn/bin/zarnlpadm -c off"});
  EXPECT_EQ(status_, 0u);
  EXPECT_EQ(printed(), "");
  EXPECT_NE(log_text().find("The zarnlpadm process completed successfully.\n"), std::string::npos);
}

TEST_F(ConfigStepTest, FailedLoginPolicyToolFailsTheStep) {
  write_on_host("/opt/zarn/bin/zarnlpadm");
  record_[IDX_LOGIN_POLICY] = ConfigEntry{kCurrent, "on"};
  runner_.answer("zarnlpadm", 1);
  zarncfg_configure_login_policy(record_, status_);
  EXPECT_EQ(status_, msg_id(1369));
  EXPECT_EQ(printed(), "ZRNCF1369E   The zarnlpadm process did not complete successfully.\n");
  EXPECT_NE(log_text().find("ZRNCF1369E   The zarnlpadm process did not complete successfully."), std::string::npos);
}

TEST_F(ConfigStepTest, LoginPolicyWithoutToolOrValueIsOnlyLogged) {
  record_[IDX_LOGIN_POLICY] = ConfigEntry{kCurrent, "on"};
  zarncfg_configure_login_policy(record_, status_);
  write_on_host("/opt/zarn/bin/zarnlpadm");
  record_[IDX_LOGIN_POLICY] = ConfigEntry{};
  zarncfg_configure_login_policy(record_, status_);
  EXPECT_EQ(runner_.lines(), std::vector<std::string>{});
  EXPECT_EQ(status_, 0u);
  EXPECT_EQ(printed(), "");
  const std::string log = log_text();
  EXPECT_NE(log.find("ZRNCF1368E   The zarnlpadm process does not exist."), std::string::npos);
  EXPECT_NE(log.find("ZRNCF1367E   The login_policy option was not detected."), std::string::npos);
}

TEST_F(ConfigStepTest, EventConsoleFollowUpMasksThePasswordAndIgnoresTheOutcome) {
  record_[IDX_SEC_MASTER_PWD] = ConfigEntry{kCurrent, "it's secret"};
  runner_.answer("zarnevccfg", 2);
  zarncfg_switch_off_event_console(record_);
  ASSERT_EQ(runner_.commands().size(), 1u);
  const ShellCommand& command = runner_.commands()[0];
  EXPECT_EQ(command.text,
            "/opt/zarn/bin/zarnevccfg -autostart off -sec_master_pwd 'it'\\''s secret' > /dev/null 2>&1");
  EXPECT_EQ(command.display, "/opt/zarn/bin/zarnevccfg -autostart off -sec_master_pwd ******** > /dev/null 2>&1");
  EXPECT_EQ(command.flags, "-c");
  EXPECT_EQ(printed(), "");
  EXPECT_EQ(log_text().find("secret"), std::string::npos);
}

}  // namespace
