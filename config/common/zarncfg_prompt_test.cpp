#include "zarncfg_prompt.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <set>
#include <string>

#include "sys_child.h"
#include "sys_fd.h"
#include "sys_signals.h"
#include "zarncfg_test_support.h"

namespace {

constexpr const char* kPrompt = "Enter the security master password: ";
constexpr const char* kDone = "#prompt-done#";
// Only a guard against a hung child; the exchange itself never waits on time.
constexpr int kGuardMilliseconds = 20000;

// What the prompting child reports back through a pipe.
struct ChildReport {
  vd_msgid_t status = 0;
  bool handler_kept = false;
  std::string answer;
};

// How the prompting process meets signals before it prompts.
enum class RunSignals { untouched, caught, caught_but_sigint_ignored };

[[noreturn]] void prompt_in_child(int slave, int report_fd, vd_msgid_t prompt, RunSignals run_signals) {
  if (run_signals == RunSignals::caught_but_sigint_ignored) signal(SIGINT, SIG_IGN);
  if (run_signals != RunSignals::untouched) sys::catch_termination_signals();
  setsid();
  ioctl(slave, TIOCSCTTY, 0);
  dup2(slave, STDIN_FILENO);
  dup2(slave, STDOUT_FILENO);
  const rlimit no_core{0, 0};
  setrlimit(RLIMIT_CORE, &no_core);
  // The caller's own disposition must be back in place afterwards.
  signal(SIGHUP, SIG_IGN);
  vd_msgid_t status = 0;
  const std::string answer = zarncfg_prompt_password(prompt, status);
  struct sigaction after {};
  sigaction(SIGHUP, nullptr, &after);
  const char kept = after.sa_handler == SIG_IGN ? 1 : 0;
  (void)!write(report_fd, &status, sizeof status);
  (void)!write(report_fd, &kept, 1);
  (void)!write(report_fd, answer.data(), answer.size());
  std::fputs(kDone, stdout);
  std::fflush(stdout);
  _exit(0);
}

class PromptTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    sys::Pipe report;
    ASSERT_TRUE(sys::make_pipe(report));
    child_ = sys::Child::start(sys::ChildSpec([&] {
      report.read_end.reset();
      prompt_in_child(slave_, report.write_end.get(), prompt_, run_signals_);
    }));
    ASSERT_TRUE(child_);
    report_ = std::move(report.read_end);
  }
  void TearDown() override {
    child_.reset();  // killed and reaped if still running
    close(master_);
    close(slave_);
    ScratchDirTest::TearDown();
  }

  // Reads the terminal until the text shows; false when the child went quiet.
  bool read_screen_until(const std::string& text) {
    while (screen_.find(text) == std::string::npos) {
      pollfd ready{master_, POLLIN, 0};
      if (poll(&ready, 1, kGuardMilliseconds) != 1) return false;
      char buffer[256];
      const ssize_t got = read(master_, buffer, sizeof buffer);
      if (got <= 0) return false;
      screen_.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
  }
  void type(const std::string& keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size())); }
  bool echo_on() const {
    termios attributes{};
    tcgetattr(slave_, &attributes);
    return (attributes.c_lflag & ECHO) != 0;
  }
  ChildReport finish() {
    EXPECT_TRUE(read_screen_until(kDone)) << screen_;
    ChildReport report;
    std::string bytes;
    char buffer[512];
    ssize_t got = 0;
    while ((got = read(report_.get(), buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<std::size_t>(got));
    (void)child_->wait();  // the report tells how it went
    child_.reset();
    if (bytes.size() < sizeof report.status + 1) return report;
    std::memcpy(&report.status, bytes.data(), sizeof report.status);
    report.handler_kept = bytes[sizeof report.status] == 1;
    report.answer = bytes.substr(sizeof report.status + 1);
    return report;
  }
  // The answer as typed, after the prompt showed with echo off.
  ChildReport answer_with(const std::string& keys) {
    EXPECT_TRUE(read_screen_until(kPrompt)) << screen_;
    EXPECT_FALSE(echo_on());
    type(keys);
    return finish();
  }

  vd_msgid_t prompt_ = msg_id(14);
  RunSignals run_signals_ = RunSignals::untouched;
  int master_ = -1;
  int slave_ = -1;
  sys::UniqueFd report_;
  std::optional<sys::Child> child_;
  std::string screen_;
};

TEST_F(PromptTest, TypedPasswordIsReturnedAndNotEchoed) {
  const ChildReport report = answer_with("Sec-ret 1\n");
  EXPECT_EQ(report.status, 0u);
  EXPECT_EQ(report.answer, "Sec-ret 1");
  EXPECT_EQ(screen_.find("Sec-ret"), std::string::npos) << screen_;
  EXPECT_EQ(screen_, std::string(kPrompt) + "\r\n" + kDone);
  EXPECT_TRUE(echo_on());
  EXPECT_TRUE(report.handler_kept);
  EXPECT_EQ(log_text().find("Sec-ret"), std::string::npos);
}

TEST_F(PromptTest, BlanksAroundAWordBelongToThePassword) {
  EXPECT_EQ(answer_with("  pw  \n").answer, "  pw  ");
}

TEST_F(PromptTest, LongAnswerIsAcceptedWhole) {
  const std::string long_answer(300, 'k');
  const ChildReport report = answer_with(long_answer + "\n");
  EXPECT_EQ(report.status, 0u);
  EXPECT_EQ(report.answer, long_answer);
}

TEST_F(PromptTest, BlankAnswerIsRefused) {
  const ChildReport report = answer_with("   \n");
  EXPECT_EQ(report.status, msg_id(1331));
  EXPECT_EQ(report.answer, "\x1e");
  EXPECT_NE(screen_.find("ZRNCF1331E   The security master password is required.\r\n"), std::string::npos);
  EXPECT_TRUE(echo_on());
}

TEST_F(PromptTest, EndOfInputIsRefused) {
  const ChildReport report = answer_with("\x04");
  EXPECT_EQ(report.status, msg_id(1331));
  EXPECT_TRUE(echo_on());
}

class InterruptedPrompt : public PromptTest, public testing::WithParamInterface<int> {};

TEST_P(InterruptedPrompt, LeavesTheTerminalEchoing) {
  ASSERT_TRUE(read_screen_until(kPrompt)) << screen_;
  ASSERT_FALSE(echo_on());
  child_->kill(GetParam());
  const std::optional<sys::ExitStatus> end = child_->wait();
  ASSERT_TRUE(end);
  EXPECT_EQ(end->signal, GetParam());
  EXPECT_TRUE(echo_on());
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptedPrompt, testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT));

// In a run that catches termination signals the prompt ends with the
// signal named, and the run goes on to its exit routine.
class InterruptedRunPrompt : public PromptTest, public testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    run_signals_ = RunSignals::caught;
    PromptTest::SetUp();
  }
};

TEST_P(InterruptedRunPrompt, RestoresEchoThenEndsWithTheSignalNamed) {
  ASSERT_TRUE(read_screen_until(kPrompt)) << screen_;
  ASSERT_FALSE(echo_on());
  child_->kill(GetParam());
  const ChildReport report = finish();
  EXPECT_EQ(report.status, msg_id(1396));
  EXPECT_EQ(report.answer, "\x1e");
  EXPECT_NE(screen_.find("\r\nZRNCF1396E   The configuration process was interrupted by signal " +
                         sys::signal_name(GetParam()) + ".\r\n"),
            std::string::npos)
      << screen_;
  EXPECT_TRUE(echo_on());
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptedRunPrompt, testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT));

class BackgroundRunPrompt : public PromptTest {
 protected:
  void SetUp() override {
    run_signals_ = RunSignals::caught_but_sigint_ignored;
    PromptTest::SetUp();
  }
};

TEST_F(BackgroundRunPrompt, SigintInheritedAsIgnoredStaysIgnored) {
  ASSERT_TRUE(read_screen_until(kPrompt)) << screen_;
  child_->kill(SIGINT);
  type("typed\n");
  const ChildReport report = finish();
  EXPECT_EQ(report.status, 0u);
  EXPECT_EQ(report.answer, "typed");
}

class UnknownPrompt : public PromptTest {
 protected:
  void SetUp() override {
    prompt_ = msg_id(9999);
    PromptTest::SetUp();
  }
};

TEST_F(UnknownPrompt, FailsWithoutPrintingAndRestoresEcho) {
  const ChildReport report = finish();
  EXPECT_EQ(report.status, msg_id(1330));
  EXPECT_EQ(report.answer, "\x1e");
  EXPECT_EQ(screen_, kDone);
  EXPECT_TRUE(echo_on());
}

using PromptWithoutTerminal = ScratchDirTest;

TEST_F(PromptWithoutTerminal, IsRefusedWithoutShowingThePrompt) {
  const StdinFrom null_input("/dev/null");
  vd_msgid_t status = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(zarncfg_prompt_password(msg_id(14), status), "\x1e");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ZRNCF1328E   The terminal state could not be saved.\n");
  EXPECT_EQ(status, msg_id(1328));
}

TEST(SimplePassword, TwentyCharactersFromTheAlphabet) {
  const std::string alphabet = "036BFHLNRTXZceikoquw";
  std::set<char> seen;
  for (int i = 0; i < 500; ++i) {
    const std::string password = zarncfg_simple_password();
    ASSERT_EQ(password.size(), 20u);
    for (char c : password) {
      ASSERT_NE(alphabet.find(c), std::string::npos) << password;
      seen.insert(c);
    }
  }
  // 10000 draws miss one of the 20 characters with odds below 1e-160.
  EXPECT_EQ(seen.size(), alphabet.size());
}

TEST(SimplePassword, TwoCallsDiffer) { EXPECT_NE(zarncfg_simple_password(), zarncfg_simple_password()); }

}  // namespace
