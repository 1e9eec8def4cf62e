// The one way the tree starts and waits for a child process.
//
// A child starts clean whatever state its parent is in: every signal at
// its default disposition (but those the parent inherited as ignored,
// sys_signals.h), an empty signal mask, standard streams from the
// descriptors given, and no other descriptor of the parent unless it is
// named in its ChildSpec (descriptors opened without O_CLOEXEC included when
// close_other_fds is set).  A child's end is read by one rule: its exit
// code, or 128 + the signal number when a signal ended it, as a shell
// reports it, so that a killed child never passes for success.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sys {

// Exit status of a child whose program could not be executed.
inline constexpr int kExecFailedStatus = 127;

struct ExitStatus {
  int code = -1;   // the exit code, or 128 + signal
  int signal = 0;  // the signal that ended the child, else 0
};

// Reads a waitpid() status by the rule above.
ExitStatus exit_status_from_wait(int wait_status);

struct ChildSpec {
  ChildSpec(std::string program_path, std::vector<std::string> arguments)
      : program(std::move(program_path)), argv(std::move(arguments)) {}
  // A child that does its own exec (see exec_instead).
  explicit ChildSpec(std::function<void()> in_child) : exec_instead(std::move(in_child)) {}

  std::string program;            // the file executed (no search of PATH)
  std::vector<std::string> argv;  // argument zero included
  // The descriptors that become the child's standard input, output and
  // error; the defaults pass the parent's own through.
  int stdin_fd = STDIN_FILENO;
  int stdout_fd = STDOUT_FILENO;
  int stderr_fd = STDERR_FILENO;
  // Further descriptors the child keeps under the same numbers, also
  // across its exec (their close-on-exec flag is cleared in the child).
  std::vector<int> inherited_fds;
  // Also closes descriptors that stay open across exec, such as those the
  // parent itself inherited from whoever started it.
  bool close_other_fds = false;
  // The child leads a process group of its own, and a termination signal
  // this process catches while it waits for the child (sys_signals.h) is
  // passed on to that group; the wait then lasts until every process of
  // the group has ended, so that nothing the child started is still at
  // work when the caller goes on.  A signal caught before the wait began
  // is passed on at once.
  bool forward_termination_signals = false;
  // For a child with more to do than execute `program` (entering a
  // simulated host): runs in the child, after the streams and signals are
  // set up, in place of the exec.  It should end in an exec or _exit and
  // report its own failures through the exit status (exec_error() covers
  // only the set-up before it); should it return, the child exits with
  // kExecFailedStatus.  The child is a copy of a possibly threaded process:
  // what runs here must not wait for locks another thread may hold.
  std::function<void()> exec_instead;
};

// One child process: never left unreaped.
class Child {
 public:
  // Our buffered output is written first, so that it comes before the
  // child's.  Returns once the program runs (or exec_instead has begun);
  // nothing, with errno set, when no process could be made.  A program that
  // could not be executed still gives a Child: exec_error() says why, and
  // it ends with kExecFailedStatus (and has no pid left: the process that
  // tried has been reaped already, unless exec_instead was given).
  [[nodiscard]] static std::optional<Child> start(const ChildSpec& setup);

  Child(Child&& other) noexcept;
  // The child held so far is ended as by the destructor.
  Child& operator=(Child&& other) noexcept;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  // A child not yet waited for is killed with SIGKILL and reaped.
  ~Child() { end_now(); }

  // -1 for a program that could not be executed: start has reaped it.
  pid_t pid() const { return pid_; }
  // The errno of the failed exec (or of the set-up before it), else 0.
  int exec_error() const { return exec_error_; }

  // Waits for the end, through interruptions by signals (passing
  // termination signals on when its ChildSpec asks for it).  Nothing when the
  // wait itself failed.  Once the child has ended it returns the same end
  // again.
  [[nodiscard]] std::optional<ExitStatus> wait();
  // The end, if the child has ended; never blocks.
  [[nodiscard]] std::optional<ExitStatus> try_wait();
  // Sends a signal to a child that has not been reaped yet.
  void kill(int signal) const;

 private:
  Child(pid_t pid, int exec_error, bool forwarding) : pid_(pid), exec_error_(exec_error), forwarding_(forwarding) {}
  static std::optional<Child> start_forked(const ChildSpec& setup);
  bool reapable() const { return pid_ > 0 && !end_ && !lost_; }
  std::optional<ExitStatus> reap(int options);
  void end_now();
  // Returns once the child has ended, passing termination signals on.
  void await_end_forwarding();
  void wait_for_rest_of_group() const;

  pid_t pid_ = -1;
  int exec_error_ = 0;
  bool forwarding_ = false;
  bool signal_passed_on_ = false;
  std::optional<ExitStatus> end_;
  // waitpid() refused the pid (not our child any more): it is never
  // signalled or waited for again, since it may name another process now.
  bool lost_ = false;
};

}  // namespace sys
