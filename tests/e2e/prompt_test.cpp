// The security master password prompt end to end, on a pseudo-terminal as a
// user at the console sees it: what is shown, what is never shown, and
// which runs ask at all.
#include <string>
#include <vector>

#include "e2e/zarncfg_scenario.h"

namespace e2e {
namespace {

constexpr const char* kPrompt = "Enter the security master password: ";
const std::vector<std::string> kArgsWithoutPassword = {"-ldap_ssl_cacert", kCaCert,   "-branch",
                                                       "brevik1",          "-suffix", "o=zarn"};
const std::string kUntilPrompt = kGatheringHead + kCommandLineLine + kValidatingLine + kPrompt;
const std::string kFirstConfigurationRest =
    "Configuring Zarn. \n"
    "Configuring the ZARND daemon. \n"
    "Initializing the Varden Policy Server context. \n"
    "Registering with Varden Policy Server. This may take a few minutes. \n"
    "Registering the Zarn product policy. \n..\n"
    "Registering the policy-specific policy information. \n.\n"
    "Registering the machine-specific policy information. \n..\n"
    "Initializing the ZARND daemon's Trusted Computing Base.\n";
const std::string kOtherDaemons =
    "Configuring the ZARNAUDITD daemon. \n"
    "Configuring the ZARNWDD daemon. \n"
    "Configuring the kernel extensions. \n";

// As a terminal shows output: every newline as carriage return and newline.
std::string on_terminal(const std::string& text) {
  std::string shown;
  for (const char c : text) shown += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return shown;
}

class ConsolePrompt : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    prepare_first_configuration(host());
  }
  void TearDown() override {
    expect_password_nowhere(host());
    HostTest::TearDown();
  }

  void start(hostsim::PtySession& session, const std::vector<std::string>& args) {
    std::vector<std::string> argv{kZarncfg};
    argv.insert(argv.end(), args.begin(), args.end());
    session.start(host().dir(), argv);
  }
  // The prompt's own entries, and no trace of what was typed.
  void expect_prompt_logged() {
    const std::string log = log_text();
    EXPECT_NE(log.find("Entering function zarncfg_prompt_password.\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Exiting function zarncfg_prompt_password.\n"), std::string::npos) << log;
    EXPECT_EQ(log.find(kMasterPwd), std::string::npos);
  }
  std::string stand_ins() {
    return host().exists("/var/zarn/run/standins.log") ? read_file("/var/zarn/run/standins.log") : "";
  }
};

TEST_F(ConsolePrompt, TypedPasswordIsUsedAndNeverShown) {
  hostsim::PtySession session;
  start(session, kArgsWithoutPassword);
  EXPECT_EQ(session.read_until(kPrompt), on_terminal(kUntilPrompt));
  session.send(std::string(kMasterPwd) + "\n");
  session.read_all();

  EXPECT_EQ(session.wait(), 0) << session.transcript();
  EXPECT_EQ(session.transcript(),
            on_terminal(kUntilPrompt + "\n" + kFirstConfigurationRest + kOtherDaemons + kRunSucceeded));
  // Registration and the policy load logged in with it; the follow-up got it too.
  EXPECT_EQ(sh("/opt/Varden/bin/kxadmin user list 'zarnd/*'").out, "zarnd/zarnhost\n");
  EXPECT_NE(stand_ins().find(std::string("/opt/zarn/bin/zarnevccfg -autostart off -sec_master_pwd ") + kMasterPwd),
            std::string::npos);
  expect_prompt_logged();
}

TEST_F(ConsolePrompt, CtrlCAtThePromptEndsTheRunThroughItsExitRoutine) {
  const std::string before = configuration_snapshot(host());
  hostsim::PtySession session;
  start(session, kArgsWithoutPassword);
  session.read_until(kPrompt);
  session.send("\x03");  // the terminal's interrupt character: SIGINT
  session.read_all();

  EXPECT_EQ(session.wait(), 1) << session.transcript();
  EXPECT_EQ(session.transcript(),
            on_terminal(kUntilPrompt + "\n" + "ZRNCF1396E   The configuration process was interrupted by signal SIGINT.\n" +
                        kRunFailed));
  EXPECT_EQ(configuration_snapshot(host()), before);
}

TEST_F(ConsolePrompt, BlankAnswerIsRefused) {
  for (const char* answer : {"", "   "}) {
    SCOPED_TRACE(std::string("answer '") + answer + "'");
    const std::string before = configuration_snapshot(host());
    hostsim::PtySession session;
    start(session, kArgsWithoutPassword);
    session.read_until(kPrompt);
    session.send(std::string(answer) + "\n");
    session.read_all();

    EXPECT_EQ(session.wait(), 1) << session.transcript();
    EXPECT_EQ(
        session.transcript(),
        on_terminal(kUntilPrompt + "\n" + "ZRNCF1331E   The security master password is required.\n" + kRunFailed));
    EXPECT_EQ(configuration_snapshot(host()), before);
    EXPECT_NE(log_text().find("ZRNCF1331E   The security master password is required.\n"), std::string::npos);
  }
}

// A blank password from any source is asked for; without a terminal that fails.
TEST_F(ConsolePrompt, NoTerminalNoPrompt) {
  write_file("/root/answers.rsp", "[zarncfg]\nsec-master-pwd =\n");
  struct Case {
    std::vector<std::string> extra;
    std::string head;
  };
  const Case cases[] = {
      {{}, kGatheringHead},
      {{"-sec_master_pwd", "  "}, kGatheringHead},
      {{"-rspfile", "/root/answers.rsp"}, kGatheringHead + kResponseFileLine},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = kArgsWithoutPassword;
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const std::string before = configuration_snapshot(host());
    const auto r = zarncfg(args, with_stdin(std::string(kMasterPwd) + "\n"));
    EXPECT_EQ(r.out, c.head + kCommandLineLine + kValidatingLine +
                         "ZRNCF1328E   The terminal state could not be saved.\n" + kRunFailed)
        << describe(r);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(configuration_snapshot(host()), before);
  }
  EXPECT_NE(log_text().find("ZRNCF1328E   The terminal state could not be saved.\n"), std::string::npos);
}

TEST_F(ConsolePrompt, ListeningPortChangeAsks) {
  configure_first(host());
  hostsim::PtySession session;
  start(session, {"-ssl_listening_port", "7200"});
  EXPECT_EQ(session.read_until(kPrompt), on_terminal(kUntilPrompt));
  session.send(std::string(kMasterPwd) + "\n");
  session.read_all();

  EXPECT_EQ(session.wait(), 0) << session.transcript();
  EXPECT_EQ(session.transcript(), on_terminal(kUntilPrompt + "\nConfiguring Zarn. \nConfiguring the ZARND daemon. \n" +
                                              "Updating the ssl_listening_port. \n" + kOtherDaemons + kRunSucceeded));
  EXPECT_EQ(stand_ins(),
            "/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -chgport -r 7200\n"
            "/opt/zarn/bin/zarnlpadm -c on\n");
  expect_prompt_logged();
}

TEST_F(ConsolePrompt, ReconfigurationOfDaemonLogsDoesNotAsk) {
  configure_first(host());
  hostsim::PtySession session;
  start(session, {"-zarnd_logs", "9"});
  session.read_all();

  EXPECT_EQ(session.wait(), 0) << session.transcript();
  EXPECT_EQ(session.transcript(),
            on_terminal(kGatheringHead + kCommandLineLine + kValidatingLine +
                        "Configuring Zarn. \nConfiguring the ZARND daemon. \n" + kOtherDaemons + kRunSucceeded));
  EXPECT_EQ(log_text().find("zarncfg_prompt_password"), std::string::npos);
}

// Configuring the log router needs the password even when only its log
// settings are given; the driver asks before the router's step.
TEST_F(ConsolePrompt, LogRouterSettingsAloneAsk) {
  configure_first(host());
  hostsim::PtySession session;
  start(session, {"-lrd_logs", "3"});
  const std::string until_prompt =
      kGatheringHead + kCommandLineLine + kValidatingLine + "Configuring Zarn. \n" + kPrompt;
  EXPECT_EQ(session.read_until(kPrompt), on_terminal(until_prompt));
  session.send(std::string(kMasterPwd) + "\n");
  session.read_all();

  EXPECT_EQ(session.wait(), 0) << session.transcript();
  EXPECT_EQ(session.transcript(), on_terminal(until_prompt +
                                              "\nConfiguring the ZARNLRD daemon.\n"
                                              "Configuring the ZARND daemon. \n" +
                                              kOtherDaemons + kRunSucceeded));
  const std::string lrd = read_file("/opt/zarn/etc/zarnlrd.conf");
  EXPECT_EQ(stanza_value(lrd, "zarnlrd", "logs"), "3");
  EXPECT_EQ(stanza_value(lrd, "zarnlrd", "state"), "on");
  EXPECT_EQ(sh("/opt/Varden/bin/kxadmin user list 'zarnlrd/*'").out, "zarnlrd/zarnhost\n");
  expect_prompt_logged();
}

}  // namespace
}  // namespace e2e
