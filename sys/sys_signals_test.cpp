#include "sys_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "sys_child.h"
#include "sys_fd.h"
#include "sys_testing.h"

namespace sys {
namespace {

// Signal dispositions are the whole process's: each case runs in a child
// of its own and reports through its exit code (0: as expected).
template <typename Body>
int exit_code_of(Body body) {
  std::optional<Child> child = Child::start(ChildSpec([&] { ::_exit(body()); }));
  if (!child) return -1;
  return child->wait().value_or(ExitStatus{}).code;
}

std::string status_field(const std::string& status, const std::string& field) {
  std::istringstream lines(status);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(field + ":\t", 0) == 0) return line.substr(field.size() + 2);
  }
  return "";
}

unsigned long long signal_mask(const std::string& hex) { return std::stoull(hex, nullptr, 16); }
unsigned long long bit(int signal_number) { return 1ULL << (signal_number - 1); }

TEST(SysSignals, TerminationSignalsAreNotedInsteadOfEndingTheProcess) {
  EXPECT_EQ(exit_code_of([] {
              catch_termination_signals();
              ::raise(SIGTERM);
              ::raise(SIGINT);
              ::raise(SIGPIPE);
              if (first_termination_signal() != SIGTERM) return 1;
              if (latest_termination_signal() != SIGINT || termination_signal_count() != 2) return 2;
              ignore_termination_signals();
              ::raise(SIGHUP);
              return termination_signal_count() == 2 && !catching_termination_signals() ? 0 : 3;
            }),
            0);
}

TEST(SysSignals, SignalsInheritedAsIgnoredStayIgnoredHereAndInChildren) {
  EXPECT_EQ(exit_code_of([] {
              ::signal(SIGINT, SIG_IGN);
              ::signal(SIGQUIT, SIG_IGN);
              catch_termination_signals();
              ::raise(SIGINT);
              if (termination_signal_count() != 0 || !inherited_as_ignored(SIGQUIT)) return 1;
              Pipe out;
              if (!make_pipe(out)) return 2;
              ChildSpec setup("/bin/cat", {"cat", "/proc/self/status"});
              setup.stdout_fd = out.write_end.get();
              std::optional<Child> child = Child::start(setup);
              out.write_end.reset();
              std::string status;
              if (!child || !read_all(out.read_end.get(), status) || !child->wait()) return 3;
              // SIGPIPE is ignored by the program itself, not inherited: the child
              // gets its default back.
              const unsigned long long ignored = signal_mask(status_field(status, "SigIgn"));
              return ignored == (bit(SIGINT) | bit(SIGQUIT)) ? 0 : 4;
            }),
            0);
}

class Forwarding : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(make_pipe(ready_));
    ASSERT_TRUE(make_pipe(release_));
  }
  // Starts `body` in a child that catches termination signals, and returns
  // once the group it starts has said "ready".
  template <typename Body>
  void start(Body body) {
    runner_ = Child::start(ChildSpec([this, body] {
      catch_termination_signals();
      ::_exit(body());
    }));
    ASSERT_TRUE(runner_);
    ready_.write_end.reset();
    char byte = 0;
    ASSERT_EQ(::read(ready_.read_end.get(), &byte, 1), 1);
  }
  ChildSpec group(const std::string& script) {
    ChildSpec setup("/bin/sh", {"sh", "-c", script});
    setup.stdout_fd = ready_.write_end.get();
    setup.stdin_fd = release_.read_end.get();
    setup.forward_termination_signals = true;
    return setup;
  }

  Pipe ready_;
  Pipe release_;
  const ScratchDir scratch_{"sys-signals-test"};
  const std::string dir_ = scratch_.path().string();
  std::optional<Child> runner_;
};

TEST_F(Forwarding, SignalReachesTheChildsGroupAndTheWaitOutlastsIt) {
  // The shell dies at once; its background member takes its time over the
  // signal, and must be done when the wait returns.  The member says
  // "ready" itself, once its trap is in place.
  const std::string script = "( trap 'sleep 0.2; echo done > " + dir_ +
                             "/late; exit 0' TERM; echo ready; while :; do sleep 0.01; done ) & wait";
  start([&] {
    std::optional<Child> child = Child::start(group(script));
    if (!child) return 1;
    const std::optional<ExitStatus> end = child->wait();
    if (!end || end->signal != SIGTERM) return 2;
    std::ifstream late(dir_ + "/late");
    std::string word;
    late >> word;
    return word == "done" && first_termination_signal() == SIGTERM ? 0 : 3;
  });
  ASSERT_EQ(::kill(runner_->pid(), SIGTERM), 0);
  EXPECT_EQ(runner_->wait()->code, 0);
}

TEST_F(Forwarding, NothingIsPassedOnOnceSignalsAreIgnored) {
  start([&] {
    ignore_termination_signals();
    std::optional<Child> child = Child::start(group("echo ready; read line; exit 5"));
    if (!child) return 1;
    const std::optional<ExitStatus> end = child->wait();
    return end && end->code == 5 ? 0 : 2;
  });
  ASSERT_EQ(::kill(runner_->pid(), SIGINT), 0);
  ASSERT_TRUE(write_all(release_.write_end.get(), "go\n"));
  EXPECT_EQ(runner_->wait()->code, 0);
}

}  // namespace
}  // namespace sys
