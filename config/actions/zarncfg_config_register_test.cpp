// The SSL configuration tool's runs: which command line each step hands to
// the runner, what the log shows of it, and what the step does when the
// tool fails or cannot be started.
#include "zarncfg_config_register.h"

#include <filesystem>
#include <regex>
#include <string>

#include "sys_testing.h"
#include "zarncfg_recording_runner.h"

namespace {

constexpr const char* kPassword = "Master Pw1";
constexpr const char* kProbe = R"(/bin/rpm -q -a | grep -i VDRTE-VD | grep "3\.7" >/dev/null 2>&1)";
constexpr const char* kTool = "/opt/Varden/bin/certbind";
constexpr std::uint32_t kGiven = CFG_SET | CFG_CMDLINE | CFG_HAS_VALUE;
constexpr std::uint32_t kCurrent = CFG_SET | CFG_CURRENT | CFG_HAS_VALUE;

class RegisterTest : public StepTest {
 protected:
  void SetUp() override {
    StepTest::SetUp();
    record_[IDX_SEC_MASTER_PWD] = ConfigEntry{kGiven, kPassword};
    record_[IDX_SSL_LISTENING_PORT] = ConfigEntry{kCurrent, "7134"};
    record_[IDX_LDAP_SSL_CACERT] = ConfigEntry{kGiven, "/var/zarn/certs/ca.pem"};
    runner_.answer("/bin/rpm", 1);  // not the 3.7 runtime, unless a test says so
    // What the tool finds on its standard input through "/bin/cat <file> |".
    runner_.while_running = [this](const ShellCommand& command) {
      static const std::regex cat(R"(^/bin/cat (\S+) \| )");
      std::smatch file;
      if (std::regex_search(command.text, file, cat)) {
        password_file_ = file[1];
        password_file_mode_ = sys::mode_of(password_file_);
        std::ifstream in(password_file_);
        password_lines_.assign(std::istreambuf_iterator<char>(in), {});
      }
    };
  }
  void TearDown() override {
    // Whatever happened, no password file outlives its command.
    if (std::filesystem::exists(on_host("/opt/zarn/etc"))) {
      EXPECT_TRUE(std::filesystem::is_empty(on_host("/opt/zarn/etc")));
    }
    EXPECT_EQ(log_text().find(kPassword), std::string::npos);
    StepTest::TearDown();
  }

  void reconfiguration() { record_[IDX_CONFIG_STATE] = ConfigEntry{kCurrent, "on"}; }
  // The tool's command: the last one run.
  const ShellCommand& tool_command() const { return runner_.commands().back(); }

  ConfigRecord record_{};
  int registered_ = 0;
  vd_msgid_t status_ = 0;
  std::string password_file_;  // the file a "/bin/cat" command read
  mode_t password_file_mode_ = 0;
  std::string password_lines_;
};

const std::regex kPasswordFile("^.*/opt/zarn/etc/\\.zarncfg-pw\\.[A-Za-z0-9]{6}$");

TEST_F(RegisterTest, RegistrationHandsBothPasswordsOverInAPrivateFile) {
  zarncfg_register_with_vd(1, record_, registered_, status_);
  EXPECT_EQ(status_, 0u);
  EXPECT_EQ(registered_, 1);
  ASSERT_EQ(runner_.lines().size(), 2u);
  EXPECT_EQ(runner_.lines()[0], kProbe);
  EXPECT_EQ(tool_command().text, "/bin/cat " + password_file_ + " | " + kTool +
                                     " -f /opt/zarn/etc/zarnd.conf -config -d /var/zarn/certs -n zarnd -s local -r 7134"
                                     " -C /var/zarn/certs/ca.pem -l yes");
  EXPECT_TRUE(std::regex_match(password_file_, kPasswordFile)) << password_file_;
  EXPECT_EQ(password_file_.rfind(on_host("/opt/zarn/etc/"), 0), 0u) << password_file_;
  EXPECT_EQ(password_file_mode_, 0600u);
  EXPECT_TRUE(std::regex_match(password_lines_, std::regex("Master Pw1\n\\S{20}\n"))) << password_lines_;
  const std::string display = std::string(kTool) +
                              " -f /opt/zarn/etc/zarnd.conf -config -d /var/zarn/certs -n zarnd -s local"
                              " -P ******** -S ******** -r 7134 -C /var/zarn/certs/ca.pem -l yes";
  EXPECT_EQ(tool_command().display, display);
  EXPECT_EQ(tool_command().flags, "-cf");
  EXPECT_EQ(printed(), "Registering with Varden Policy Server. This may take a few minutes. \n");
  EXPECT_NE(log_text().find("Running command " + display + ". "), std::string::npos) << log_text();
}

TEST_F(RegisterTest, RegistrationOn37EndsWithTheEmptyListeningArgument) {
  runner_.reset();
  zarncfg_register_with_vd(1, record_, registered_, status_);
  EXPECT_TRUE(tool_command().text.ends_with(" | /opt/Varden/bin/certbind /opt/zarn/etc/zarnd.conf -config -d "
                                            "/var/zarn/certs -n zarnd -s local -r 7134 -C /var/zarn/certs/ca.pem "))
      << tool_command().text;
}

TEST_F(RegisterTest, WithoutAPasswordFileThePasswordsStandOnTheLineButNotInTheLog) {
  std::filesystem::remove_all(on_host("/opt/zarn/etc"));
  zarncfg_register_with_vd(1, record_, registered_, status_);
  EXPECT_EQ(status_, 0u);
  EXPECT_TRUE(std::regex_match(tool_command().text,
                               std::regex("/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -config -d "
                                          "/var/zarn/certs -n zarnd -s local -P 'Master Pw1' -S \\S{20} -r 7134 "
                                          "-C /var/zarn/certs/ca.pem -l yes")))
      << tool_command().text;
  EXPECT_EQ(printed(), "ZRNCF1340E   File " + on_host("/opt/zarn/etc/.zarncfg-pw.XXXXXX") +
                           " could not be opened.\n"
                           "Registering with Varden Policy Server. This may take a few minutes. \n");
}

TEST_F(RegisterTest, FailedRegistrationKeepsTheFlagSoThatTheRunUnregisters) {
  runner_.answer(kTool, 7, "certbind: server unreachable\n");
  zarncfg_register_with_vd(1, record_, registered_, status_);
  EXPECT_EQ(status_, msg_id(1304));
  EXPECT_EQ(registered_, 1);
  EXPECT_EQ(printed(),
            "Registering with Varden Policy Server. This may take a few minutes. \n"
            "ZRNCF1304E   Registering with Varden Policy Server failed with error code 7.\n");
  const std::string log = log_text();
  EXPECT_NE(log.find("ZRNCF1304E   Registering with Varden Policy Server failed with error code 7."), std::string::npos);
  EXPECT_NE(log.find("output of command ---------- certbind: server unreachable "), std::string::npos) << log;
}

TEST_F(RegisterTest, ToolThatCannotBeStartedFailsWithMinus99) {
  runner_.refuse(kTool);
  zarncfg_register_with_vd(1, record_, registered_, status_);
  EXPECT_EQ(status_, msg_id(1304));
  EXPECT_EQ(printed(), "Registering with Varden Policy Server. This may take a few minutes. \n"
                       "ZRNCF1339E   " + tool_command().display + " failed. \n"
                       "ZRNCF1304E   Registering with Varden Policy Server failed with error code -99.\n");
}

TEST_F(RegisterTest, ConfiguredHostIsNotRegisteredAgain) {
  reconfiguration();
  zarncfg_register_with_vd(1, record_, registered_, status_);
  EXPECT_EQ(runner_.lines(), std::vector<std::string>{});
  EXPECT_EQ(registered_, 0);
}

TEST_F(RegisterTest, UnregistrationAndItsFailure) {
  for (const int code : {0, 5}) {
    runner_.reset();
    runner_.answer(kTool, code);
    status_ = 0;
    zarncfg_register_with_vd(2, record_, registered_, status_);
    EXPECT_EQ(tool_command().text, "/bin/cat " + password_file_ + " | " + kTool + " /opt/zarn/etc/zarnd.conf -unconfig -n zarnd");
    EXPECT_EQ(tool_command().display, std::string(kTool) + " /opt/zarn/etc/zarnd.conf -unconfig -n zarnd -P ********");
    EXPECT_EQ(password_lines_, "Master Pw1\n");
    EXPECT_EQ(status_, code == 0 ? 0u : msg_id(1366));
    EXPECT_EQ(printed(), code == 0 ? "Unregistering with Varden Policy Server. \n"
                                   : "Unregistering with Varden Policy Server. \n"
                                     "ZRNCF1366E   Unregistering with Varden Policy Server failed with error code 5.\n");
  }
}

TEST_F(RegisterTest, PortChangeRunsOnlyForAPortGivenInThisRun) {
  reconfiguration();
  zarncfg_update_ssl_listening_port(record_, status_);  // the port stands only in the current files
  EXPECT_EQ(runner_.lines(), std::vector<std::string>{kProbe});
  record_[IDX_SSL_LISTENING_PORT] = ConfigEntry{kGiven, "7200"};
  runner_.answer(kTool, 4);
  zarncfg_update_ssl_listening_port(record_, status_);
  EXPECT_EQ(tool_command().text, "/bin/cat " + password_file_ + " | " + kTool + " -f /opt/zarn/etc/zarnd.conf -chgport  -r 7200");
  EXPECT_EQ(tool_command().display, std::string(kTool) + " -f /opt/zarn/etc/zarnd.conf -chgport  -P ******** -r 7200");
  EXPECT_EQ(password_lines_, "Master Pw1\n");
  EXPECT_EQ(status_, msg_id(1304));
  EXPECT_EQ(printed(), "Updating the ssl_listening_port. \n"
                       "ZRNCF1304E   Registering with Varden Policy Server failed with error code 4.\n");
}

TEST_F(RegisterTest, PortChangeWithoutAPasswordFileFailsBeforeTheTool) {
  reconfiguration();
  record_[IDX_SSL_LISTENING_PORT] = ConfigEntry{kGiven, "7200"};
  std::filesystem::remove_all(on_host("/opt/zarn/etc"));
  zarncfg_update_ssl_listening_port(record_, status_);
  EXPECT_EQ(status_, msg_id(1340));
  EXPECT_EQ(runner_.lines(), std::vector<std::string>{kProbe});
}

TEST_F(RegisterTest, CertificateChangeAndItsFailure) {
  reconfiguration();
  record_[IDX_LDAP_SSL_CACERT].flags = kCurrent;
  zarncfg_update_cakdb(record_, status_);
  EXPECT_EQ(runner_.lines(), std::vector<std::string>{kProbe});
  record_[IDX_LDAP_SSL_CACERT].flags = kGiven;
  runner_.answer(kTool, 9);
  zarncfg_update_cakdb(record_, status_);
  EXPECT_EQ(tool_command().text, std::string(kTool) + " -f /opt/zarn/etc/zarnd.conf -modify -C /var/zarn/certs/ca.pem");
  EXPECT_EQ(tool_command().display, "");
  EXPECT_EQ(status_, msg_id(1304));
  EXPECT_EQ(printed(), "ZRNCF1304E   Registering with Varden Policy Server failed with error code 9.\n");
}

TEST_F(RegisterTest, RuntimeProbeIsQuietAndAnswersByItsStatus) {
  EXPECT_EQ(zarncfg_isVD37(), 0);
  runner_.reset();
  EXPECT_EQ(zarncfg_isVD37(), 1);
  runner_.refuse("/bin/rpm");
  EXPECT_EQ(zarncfg_isVD37(), 0);
  const ShellCommand& probe = tool_command();
  EXPECT_EQ(probe.text, kProbe);
  EXPECT_EQ(probe.flags, "-c");
  EXPECT_EQ(probe.errors.name, "/dev/null");
  EXPECT_EQ(probe.output.fd, -1);
  EXPECT_EQ(printed(), "");
}

}  // namespace
