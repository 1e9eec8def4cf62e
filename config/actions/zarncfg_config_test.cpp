// Every step of a configuration that runs a command: the command line it
// hands to the runner, what it prints, and what it does when the command
// fails; then what only some steps do (passwords, state, links).
#include "zarncfg_config.h"

#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "kx_store.h"
#include "kxadmin_internal.h"
#include "stanza_file.h"
#include "sys_testing.h"
#include "zarncfg_config_autostart.h"
#include "zarncfg_config_lrd.h"
#include "zarncfg_config_register.h"
#include "zarncfg_kxcommon.h"
#include "zarncfg_lrd_tool.h"
#include "zarncfg_recording_runner.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kGiven = CFG_SET | CFG_CMDLINE | CFG_HAS_VALUE;
constexpr std::uint32_t kCurrent = CFG_SET | CFG_CURRENT | CFG_HAS_VALUE;
constexpr const char* kProbe = R"(/bin/rpm -q -a | grep -i VDRTE-VD | grep "3\.7" >/dev/null 2>&1)";
const std::regex kPasswordFile(R"(/\S*/opt/zarn/etc/\.zarncfg-pw\.\w{6})");

// Public: the table's steps prepare the record and the host themselves.
class StepsTest : public StepTest {
 public:
  void SetUp() override {
    StepTest::SetUp();
    record_[IDX_SEC_MASTER_PWD] = ConfigEntry{kGiven, "Master Pw1"};
    record_[IDX_SSL_LISTENING_PORT] = ConfigEntry{kCurrent, "7134"};
    record_[IDX_LDAP_SSL_CACERT] = ConfigEntry{kCurrent, "/var/zarn/certs/ca.pem"};
    runner_.answer("/bin/rpm", 1);  // not the 3.7 runtime
    log_in_to_a_fresh_store();
    for (const char* file : {"/etc/rc.d/init.d/kbrevik", "/etc/rc.d/init.d/brevik", "/opt/zarn/bin/zarnlpadm",
                             "/opt/zarn/etc/zarnlrd.xml.template"}) {
      write_on_host(file, "template\n");
    }
  }
  void TearDown() override {
    EXPECT_EQ(log_text().find("Master Pw1"), std::string::npos);
    // No password file outlives its command.
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(on_host("/opt/zarn/etc"), ec)) {
      EXPECT_FALSE(entry.path().filename().string().starts_with(".zarncfg-pw.")) << entry.path();
    }
    ctx.reset();
    kxadmin_set_store_path(std::nullopt);
    StepTest::TearDown();
  }

  // Registration asks the policy server first whether the host's name is
  // taken: an empty store in the scratch directory answers.
  void log_in_to_a_fresh_store() {
    const std::string store = (root_ / "policy.db").string();
    kx::Outcome error;
    ASSERT_TRUE(kx::Store::create(store, "Master Pw1", false, error)) << error.message;
    kxadmin_set_store_path(store);
    record_[IDX_BRANCH] = ConfigEntry{kGiven, "b1"};
    record_[IDX_SUFFIX] = ConfigEntry{kGiven, "o=zarn,c=us"};
    vd_msgid_t login = 0;
    zarncfg_initialize_kxadmin_context(record_, "zarncfg", login);
    (void)printed();  // the steps' own output is what the cases read
    ASSERT_EQ(login, 0u);
  }

  void reconfiguration() { record_[IDX_CONFIG_STATE] = ConfigEntry{kCurrent, "on"}; }
  // The last command line, a password file's random name made readable.
  std::string last_line() const {
    return runner_.lines().empty() ? "" : std::regex_replace(runner_.lines().back(), kPasswordFile, "<file>");
  }
  std::optional<std::string> lrd_entry(const char* entry) const {
    vd_status_t status = 0;
    const auto file = stzFileOpen(on_host(ZARNLRD_CONF), STZ_MODE_READ, status);
    if (!file || stzMoveEntry(*file, "zarnlrd", entry) == 0) return std::nullopt;
    return file->value;
  }

  ConfigRecord record_{};
  int flag_ = 0;
  vd_msgid_t status_ = 0;
};

struct Step {
  const char* name;
  std::function<void(StepsTest&)> prepare;
  std::function<void(ConfigRecord&, int&, vd_msgid_t&)> run;
  const char* fails;  // part of the command line that a failing command holds
  std::string line;
  std::string announced;  // printed before the command
  std::string failed;     // printed after it when it ended with 7
  vd_msgid_t status;
};

void given(ConfigRecord& record, int index, const char* value) {
  record[static_cast<std::size_t>(index)] = ConfigEntry{kGiven, value};
}

const Step kSteps[] = {
    {"registration", [](StepsTest&) {}, [](auto& r, int& f, auto& s) { zarncfg_register_with_vd(1, r, f, s); },
     "certbind",
     "/bin/cat <file> | /opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -config -d /var/zarn/certs -n zarnd "
     "-s local -r 7134 -C /var/zarn/certs/ca.pem -l yes",
     "Registering with Varden Policy Server. This may take a few minutes. \n",
     "ZRNCF1304E   Registering with Varden Policy Server failed with error code 7.\n", msg_id(1304)},
    {"unregistration", [](StepsTest&) {}, [](auto& r, int& f, auto& s) { zarncfg_register_with_vd(2, r, f, s); },
     "certbind", "/bin/cat <file> | /opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -unconfig -n zarnd",
     "Unregistering with Varden Policy Server. \n",
     "ZRNCF1366E   Unregistering with Varden Policy Server failed with error code 7.\n", msg_id(1366)},
    {"port change", [](StepsTest& t) {
       t.reconfiguration();
       given(t.record_, IDX_SSL_LISTENING_PORT, "7200");
     },
     [](auto& r, int&, auto& s) { zarncfg_update_ssl_listening_port(r, s); }, "certbind",
     "/bin/cat <file> | /opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -chgport  -r 7200",
     "Updating the ssl_listening_port. \n",
     "ZRNCF1304E   Registering with Varden Policy Server failed with error code 7.\n", msg_id(1304)},
    {"certificate change", [](StepsTest& t) {
       t.reconfiguration();
       given(t.record_, IDX_LDAP_SSL_CACERT, "/c.pem");
     },
     [](auto& r, int&, auto& s) { zarncfg_update_cakdb(r, s); }, "certbind",
     "/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -modify -C /c.pem", "",
     "ZRNCF1304E   Registering with Varden Policy Server failed with error code 7.\n", msg_id(1304)},
    {"trusted computing base", [](StepsTest&) {}, [](auto& r, int&, auto& s) { zarncfg_init_zarnd(r, s); }, "zarnd",
     "/opt/zarn/bin/zarnd -T", "Initializing the ZARND daemon's Trusted Computing Base.\n",
     "ZRNCF1327E   The ZARND daemon failed with error code 7.\n", msg_id(1327)},
    {"login policy", [](StepsTest& t) { given(t.record_, IDX_LOGIN_POLICY, "on"); },
     [](auto& r, int&, auto& s) { zarncfg_configure_login_policy(r, s); }, "zarnlpadm", "/opt/zarn/bin/zarnlpadm -c on",
     "", "ZRNCF1369E   The zarnlpadm process did not complete successfully.\n", msg_id(1369)},
    {"log router registration", [](StepsTest&) {}, [](auto& r, int& f, auto& s) { zarncfg_configure_zarnlrd(1, r, f, s); },
     "certbind",
     "/opt/Varden/bin/certbind -config -f /opt/zarn/etc/zarnlrd.conf -d /var/zarn/certs -n zarnlrd -s remote "
     "-P 'Master Pw1' -S - -r 7777",
     "Configuring the ZARNLRD daemon.\n", "ZRNCF1391E   The configuration of the ZARNLRD daemon failed.\n",
     msg_id(1391)},
    {"log router unregistration", [](StepsTest&) {},
     [](auto& r, int& f, auto& s) { zarncfg_unconfig_zarnlrd(r[IDX_SEC_MASTER_PWD].text(), f, s); }, "certbind",
     "/opt/Varden/bin/certbind -unconfig -f /opt/zarn/etc/zarnlrd.conf -n zarnlrd -P 'Master Pw1'",
     "Unconfiguring the ZARNLRD daemon.\n", "ZRNCF1394E   The unconfiguration of the ZARNLRD daemon failed.\n",
     msg_id(1394)},
    {"links", [](StepsTest&) {}, [](auto& r, int&, auto& s) { zarncfg_setup_autostart(r, s); }, "rc6.d/K12brevik",
     "/bin/ln -f -s /etc/rc.d/init.d/brevik /etc/rc.d/rc5.d/S88brevik", "",
     "ZRNCF1313E   The soft link of files /etc/rc.d/init.d/brevik /etc/rc.d/rc6.d/K12brevik could not be created.\n",
     msg_id(1313)},
    {"event console", [](StepsTest&) {}, [](auto& r, int&, auto&) { zarncfg_switch_off_event_console(r); },
     "zarnevccfg", "/opt/zarn/bin/zarnevccfg -autostart off -sec_master_pwd 'Master Pw1' > /dev/null 2>&1", "", "", 0},
};

TEST_F(StepsTest, EachStepRunsItsCommandAndReportsItsFailure) {
  const ConfigRecord record = record_;
  for (const Step& step : kSteps) {
    SCOPED_TRACE(step.name);
    step.prepare(*this);
    step.run(record_, flag_, status_);
    const vd_msgid_t status = std::exchange(status_, 0);
    const std::string line = last_line();
    const std::string announced = printed();
    runner_.answer(step.fails, 7);
    step.run(record_, flag_, status_);
    const std::string failed = printed();  // before any report of this test's own is printed
    EXPECT_EQ(line, step.line);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(announced, step.announced);
    EXPECT_EQ(status_, step.status);
    EXPECT_EQ(failed, step.announced + step.failed);
    EXPECT_NE(log_text().find(step.failed.substr(0, step.failed.find('\n'))), std::string::npos);
    if (HasFailure()) return;
    record_ = record;
    status_ = 0;
    runner_.reset();
    runner_.answer("/bin/rpm", 1);
  }
}

TEST_F(StepsTest, RegistrationHandsThePasswordsOverInAPrivateFileAndKeepsItsFlagOnFailure) {
  std::string lines;
  runner_.while_running = [&](const ShellCommand& command) {
    std::smatch file;
    if (!std::regex_search(command.text, file, kPasswordFile)) return;
    EXPECT_EQ(sys::mode_of(file.str()), 0600u);
    lines = sys::file_text(file.str());
  };
  runner_.answer("certbind", 7);
  zarncfg_register_with_vd(1, record_, flag_, status_);
  EXPECT_TRUE(std::regex_match(lines, std::regex("Master Pw1\n\\S{20}\n"))) << lines;
  EXPECT_EQ(flag_, 1);
  EXPECT_NE(log_text().find("Running command /opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -config -d "
                            "/var/zarn/certs -n zarnd -s local -P ******** -S ******** -r 7134"),
            std::string::npos);
}

TEST_F(StepsTest, WithoutAPasswordFileRegistrationPutsThePasswordsOnItsLineAndThePortChangeFails) {
  fs::remove_all(on_host("/opt/zarn/etc"));
  zarncfg_register_with_vd(1, record_, flag_, status_);
  EXPECT_EQ(status_, 0u);
  EXPECT_TRUE(std::regex_match(last_line(), std::regex(".*/certbind .* -P 'Master Pw1' -S \\S{20} -r 7134 .*")));
  EXPECT_EQ(printed().find("ZRNCF1340E   File " + on_host("/opt/zarn/etc/.zarncfg-pw.XXXXXX")), 0u);
  reconfiguration();
  given(record_, IDX_SSL_LISTENING_PORT, "7200");
  zarncfg_update_ssl_listening_port(record_, status_);
  EXPECT_EQ(status_, msg_id(1340));
  EXPECT_EQ(last_line(), kProbe);
}

TEST_F(StepsTest, AConfiguredHostRunsOnlyWhatThisRunChanges) {
  reconfiguration();
  record_[IDX_LRD_STATE] = ConfigEntry{kCurrent, "on"};
  zarncfg_register_with_vd(1, record_, flag_, status_);
  zarncfg_init_zarnd(record_, status_);
  zarncfg_update_ssl_listening_port(record_, status_);  // its port stands only in the current files
  zarncfg_update_cakdb(record_, status_);
  zarncfg_configure_zarnlrd(1, record_, flag_, status_);
  EXPECT_EQ(runner_.lines(), std::vector<std::string>(2, kProbe));
  EXPECT_EQ(printed(), "ZARNLRD has already been configured.\n");
  EXPECT_EQ(flag_, 0);
}

TEST_F(StepsTest, LoginPolicyWithoutToolOrValueIsOnlyLogged) {
  zarncfg_configure_login_policy(record_, status_);
  fs::remove(on_host("/opt/zarn/bin/zarnlpadm"));
  given(record_, IDX_LOGIN_POLICY, "on");
  zarncfg_configure_login_policy(record_, status_);
  EXPECT_EQ(runner_.lines(), std::vector<std::string>{});
  EXPECT_EQ(status_, 0u);
  EXPECT_EQ(printed(), "");
  EXPECT_NE(log_text().find("ZRNCF1367E   The login_policy option was not detected."), std::string::npos);
  EXPECT_NE(log_text().find("ZRNCF1368E   The zarnlpadm process does not exist."), std::string::npos);
}

TEST_F(StepsTest, LogRouterStateFollowsItsRegistration) {
  given(record_, IDX_LRD_LOGS, "3");
  runner_.answer("certbind", 1);
  zarncfg_configure_zarnlrd(1, record_, flag_, status_);
  EXPECT_EQ(runner_.commands().back().output.name, on_host("/tmp/.zarn_config"));
  EXPECT_EQ(lrd_entry("logs"), "3");
  EXPECT_EQ(lrd_entry("state"), std::nullopt);
  zarncfg_unconfig_zarnlrd("pw", flag_, status_);
  EXPECT_EQ(runner_.commands().back().output.name, on_host("/tmp/.zarn_unconfig"));
  EXPECT_TRUE(fs::exists(on_host(ZARNLRD_CONF)));
  runner_.reset();
  status_ = 0;
  zarncfg_configure_zarnlrd(1, record_, flag_, status_);
  EXPECT_EQ(lrd_entry("state"), "on");
  EXPECT_EQ(sys::file_text(on_host("/opt/zarn/etc/zarnlrd.xml")), "template\n");
  zarncfg_unconfig_zarnlrd("pw", flag_, status_);
  EXPECT_FALSE(fs::exists(on_host(ZARNLRD_CONF)));
}

TEST_F(StepsTest, FirstConfigurationLinksStopThenStartInTableOrder) {
  zarncfg_setup_autostart(record_, status_);
  std::vector<std::string> expected;
  for (const auto table : {std::span<const std::string_view>(linux_file_links_K),
                           std::span<const std::string_view>(linux_file_links_S)}) {
    for (const std::string_view row : table) expected.push_back("/bin/ln -f -s " + std::string(row));
  }
  EXPECT_EQ(runner_.lines(), expected);
}

TEST_F(StepsTest, RuntimeProbeIsQuietAndAnswersByItsStatus) {
  EXPECT_EQ(zarncfg_isVD37(), 0);
  EXPECT_EQ(runner_.commands().back().text, kProbe);
  EXPECT_EQ(runner_.commands().back().errors.name, "/dev/null");
  runner_.reset();
  EXPECT_EQ(zarncfg_isVD37(), 1);
  runner_.refuse("/bin/rpm");
  EXPECT_EQ(zarncfg_isVD37(), 0);
}

TEST_F(StepsTest, PasswordsAreMaskedInTheTextsThatMayBeShown) {
  zarncfg_switch_off_event_console(record_);
  zarncfg_configure_zarnlrd(1, record_, flag_, status_);
  zarncfg_unconfig_zarnlrd("Master Pw1", flag_, status_);
  for (const ShellCommand& command : runner_.commands()) {
    EXPECT_EQ(command.display.find("Master Pw1"), std::string::npos) << command.display;
    EXPECT_NE(command.display.find(" ********"), std::string::npos) << command.display;
  }
}

}  // namespace
