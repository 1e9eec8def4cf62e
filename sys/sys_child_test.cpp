#include "sys_child.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "sys_fd.h"

namespace sys {
namespace {

ChildSpec shell(const std::string& script) { return ChildSpec{"/bin/sh", {"sh", "-c", script}}; }

ExitStatus run(const ChildSpec& setup) {
  std::optional<Child> child = Child::start(setup);
  if (!child) return ExitStatus{};
  return child->wait().value_or(ExitStatus{});
}

std::string output_of(ChildSpec setup) {
  Pipe out;
  EXPECT_TRUE(make_pipe(out));
  setup.stdout_fd = out.write_end.get();
  std::optional<Child> child = Child::start(setup);
  out.write_end.reset();
  std::string text;
  EXPECT_TRUE(read_all(out.read_end.get(), text));
  EXPECT_TRUE(child && child->wait());
  return text;
}

TEST(SysChild, EndIsTheExitCodeElse128PlusTheSignal) {
  struct Case {
    const char* script;
    int code;
    int signal;
  };
  for (const Case& c : {Case{"exit 0", 0, 0}, Case{"exit 3", 3, 0}, Case{"kill -TERM $$", 128 + SIGTERM, SIGTERM},
                        Case{"kill -KILL $$", 128 + SIGKILL, SIGKILL}}) {
    const ExitStatus end = run(shell(c.script));
    EXPECT_EQ(end.code, c.code) << c.script;
    EXPECT_EQ(end.signal, c.signal) << c.script;
  }
}

TEST(SysChild, ProgramThatCannotBeExecutedSaysWhyAndEndsWith127) {
  std::optional<Child> child = Child::start(ChildSpec{"/nonexistent/tool", {"tool"}});
  ASSERT_TRUE(child);
  EXPECT_EQ(child->exec_error(), ENOENT);
  EXPECT_EQ(child->wait()->code, kExecFailedStatus);
}

TEST(SysChild, FileThatIsNoProgramSaysWhy) {
  const std::string folder = ::testing::TempDir();
  const std::string not_executable = folder + "/not-a-program";
  ASSERT_TRUE(write_all(open_fd(not_executable, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600).get(), "#!/bin/sh\n"));
  for (const std::string& path : {not_executable, folder}) {
    std::optional<Child> child = Child::start(ChildSpec{path, {"x"}});
    ASSERT_TRUE(child) << path;
    EXPECT_EQ(child->exec_error(), EACCES) << path;
    EXPECT_EQ(child->wait()->code, kExecFailedStatus) << path;
  }
  ::unlink(not_executable.c_str());
}

// Streams whose sources are each other's targets must not overwrite one
// another on the way.
TEST(SysChild, StandardStreamsMayBeSwapped) {
  Pipe out;
  Pipe err;
  ASSERT_TRUE(make_pipe(out) && make_pipe(err));
  const int saved_out = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  const int saved_err = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  ASSERT_EQ(::dup2(out.write_end.get(), STDOUT_FILENO), STDOUT_FILENO);
  ASSERT_EQ(::dup2(err.write_end.get(), STDERR_FILENO), STDERR_FILENO);
  ChildSpec setup = shell("echo to-out; echo to-err >&2");
  setup.stdout_fd = STDERR_FILENO;
  setup.stderr_fd = STDOUT_FILENO;
  const ExitStatus end = run(setup);
  ::dup2(saved_out, STDOUT_FILENO);
  ::dup2(saved_err, STDERR_FILENO);
  ::close(saved_out);
  ::close(saved_err);
  out.write_end.reset();
  err.write_end.reset();
  std::string on_out;
  std::string on_err;
  ASSERT_TRUE(read_all(out.read_end.get(), on_out) && read_all(err.read_end.get(), on_err));
  EXPECT_EQ(end.code, 0);
  EXPECT_EQ(on_out, "to-err\n");
  EXPECT_EQ(on_err, "to-out\n");
}

TEST(SysChild, LeadsAGroupOfItsOwnOnlyWhenSignalsArePassedOn) {
  for (const bool forwarding : {false, true}) {
    // The fifth field of /proc/PID/stat is the process group.
    ChildSpec setup = shell("[ \"$(cut -d' ' -f5 /proc/$$/stat)\" = $$ ]");
    setup.forward_termination_signals = forwarding;
    EXPECT_EQ(run(setup).code, forwarding ? 0 : 1) << forwarding;
  }
}

TEST(SysChild, StartsWithDefaultSignalsAndAnEmptyMask) {
  sigset_t usr1;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  sigset_t saved_mask;
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &usr1, &saved_mask), 0);
  const sighandler_t saved_term = signal(SIGTERM, SIG_IGN);
  const std::string status = output_of(ChildSpec{"/bin/cat", {"cat", "/proc/self/status"}});
  signal(SIGTERM, saved_term);
  pthread_sigmask(SIG_SETMASK, &saved_mask, nullptr);
  EXPECT_NE(status.find("\nSigBlk:\t0000000000000000\n"), std::string::npos) << status;
  EXPECT_NE(status.find("\nSigIgn:\t0000000000000000\n"), std::string::npos) << status;
}

TEST(SysChild, HandsOverOnlyTheDescriptorsNamed) {
  const UniqueFd closing = open_fd("/dev/null", O_RDONLY);
  // Deliberately without O_CLOEXEC, as a descriptor inherited from whoever
  // started the tests would be.
  const UniqueFd staying(::open("/dev/null", O_RDONLY));
  struct Case {
    int fd;
    bool inherited;
    bool close_others;
    bool open_in_child;
  };
  for (const Case& c : {Case{closing.get(), false, false, false}, Case{closing.get(), true, false, true},
                        Case{closing.get(), true, true, true}, Case{staying.get(), false, false, true},
                        Case{staying.get(), false, true, false}}) {
    ChildSpec setup = shell("[ -e /proc/self/fd/" + std::to_string(c.fd) + " ]");
    if (c.inherited) setup.inherited_fds.push_back(c.fd);
    setup.close_other_fds = c.close_others;
    EXPECT_EQ(run(setup).code, c.open_in_child ? 0 : 1) << c.fd << c.inherited << c.close_others;
  }
}

// Those between the kept ones are closed too, not only those above.
TEST(SysChild, ClosingOthersLeavesNoneBetweenTheKeptOnes) {
  const UniqueFd below(::open("/dev/null", O_RDONLY));  // deliberately without O_CLOEXEC
  const UniqueFd kept(::open("/dev/null", O_RDONLY));
  const UniqueFd above(::open("/dev/null", O_RDONLY));
  const auto open_in_child = [](int fd) { return "$([ -e /proc/self/fd/" + std::to_string(fd) + " ] && echo open)"; };
  ChildSpec setup = shell("echo " + open_in_child(below.get()) + "," + open_in_child(kept.get()) + "," +
                          open_in_child(above.get()));
  setup.inherited_fds = {kept.get()};
  setup.close_other_fds = true;
  EXPECT_EQ(output_of(setup), ",open,\n");
}

// Far more than a pipe holds, read while the child writes.
TEST(SysChild, LargeOutputThroughAPipeArrivesWhole) {
  const std::string text = output_of(shell("head -c 1000000 /dev/zero"));
  EXPECT_EQ(text, std::string(1000000, '\0'));
}

volatile sig_atomic_t interruptions = 0;
void count_interruption(int) { interruptions = interruptions + 1; }

TEST(SysChild, WaitRidesOutInterruptingSignals) {
  struct sigaction counting {};
  counting.sa_handler = count_interruption;  // no SA_RESTART: waitpid fails with EINTR
  struct sigaction saved {};
  ASSERT_EQ(sigaction(SIGUSR1, &counting, &saved), 0);
  Pipe release;
  ASSERT_TRUE(make_pipe(release));
  ChildSpec setup = shell("read line; exit 7");
  setup.stdin_fd = release.read_end.get();
  std::optional<Child> child = Child::start(setup);
  ASSERT_TRUE(child);
  const pthread_t waiter = pthread_self();
  std::thread interrupter([&] {
    for (int i = 0; i < 20; ++i) {
      pthread_kill(waiter, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(write_all(release.write_end.get(), "go\n"));
  });
  const std::optional<ExitStatus> end = child->wait();
  interrupter.join();
  sigaction(SIGUSR1, &saved, nullptr);
  ASSERT_TRUE(end);
  EXPECT_EQ(end->code, 7);
}

TEST(SysChild, ChildNotWaitedForIsKilledAndReaped) {
  pid_t pid = -1;
  {
    std::optional<Child> child = Child::start(ChildSpec{"/bin/sleep", {"sleep", "600"}});
    ASSERT_TRUE(child);
    pid = child->pid();
  }
  EXPECT_EQ(::kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
}

}  // namespace
}  // namespace sys
