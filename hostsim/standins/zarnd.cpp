// Stand-in for the security daemon /opt/zarn/bin/zarnd.
// "-T" initialises the trusted computing base: it appends the line
// "tcb initialised" to /var/zarn/run/zarnd.tcb (fail switch: fail.zarnd-T).
// Without arguments it runs as the daemon: it forks, the child writes its
// process id to /var/zarn/run/zarnd.pid and sleeps until SIGTERM, which
// removes the pid file (fail switch: fail.zarnd).  The parent returns once
// the pid file exists, so "brevik start" is done when it returns.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include "standin_common.h"

namespace {

const std::string kPidFile = std::string(STANDIN_RUN_DIR) + "/zarnd.pid";
volatile sig_atomic_t stop_requested = 0;

void on_term(int) { stop_requested = 1; }

int initialise_tcb() {
  if (!standin_append_line(std::string(STANDIN_RUN_DIR) + "/zarnd.tcb", "tcb initialised", 0644)) {
    std::fprintf(stderr, "zarnd: the trusted computing base could not be initialised\n");
    return 1;
  }
  return 0;
}

void detach_standard_streams() {
  const int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null_fd < 0) return;
  dup2(null_fd, STDIN_FILENO);
  dup2(null_fd, STDOUT_FILENO);
  dup2(null_fd, STDERR_FILENO);
  close(null_fd);
}

[[noreturn]] void run_daemon(int ready_fd) {
  setsid();
  struct sigaction action {};
  action.sa_handler = on_term;
  sigaction(SIGTERM, &action, nullptr);
  // SIGTERM stays blocked except inside sigsuspend, so it cannot slip in
  // between the test of the flag and the wait.
  sigset_t term_only, waiting;
  sigemptyset(&term_only);
  sigaddset(&term_only, SIGTERM);
  sigprocmask(SIG_BLOCK, &term_only, &waiting);
  sigdelset(&waiting, SIGTERM);
  const bool written = standin_write_file(kPidFile, std::to_string(getpid()) + "\n", 0644);
  const char answer = written ? 'y' : 'n';
  (void)!write(ready_fd, &answer, 1);
  close(ready_fd);
  detach_standard_streams();
  if (!written) _exit(1);
  while (stop_requested == 0) sigsuspend(&waiting);
  unlink(kPidFile.c_str());
  _exit(0);
}

int start_daemon() {
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return 1;
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return 1;
  if (child == 0) {
    close(ready[0]);
    run_daemon(ready[1]);
  }
  close(ready[1]);
  char answer = 'n';
  ssize_t got;
  while ((got = read(ready[0], &answer, 1)) < 0 && errno == EINTR) {
  }
  close(ready[0]);
  if (got != 1 || answer != 'y') {
    std::fprintf(stderr, "zarnd: the daemon could not be started\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool tcb = argc == 2 && std::string_view(argv[1]) == "-T";
  if (auto failure = standin_begin(argc, argv, tcb ? "zarnd-T" : "zarnd")) return *failure;
  if (tcb) return initialise_tcb();
  if (argc != 1) {
    std::fprintf(stderr, "usage: zarnd [-T]\n");
    return 2;
  }
  return start_daemon();
}
