#include "sys_signals.h"

#include <sys/prctl.h>

#include <atomic>

namespace sys {
namespace {

// Written by the handler, so lock-free atomics in static storage.
std::atomic<int> first_caught{0};
std::atomic<int> latest_caught{0};
std::atomic<unsigned> caught_count{0};
std::atomic<bool> catching{false};
// Filled once, before any handler of ours is installed; read in forked
// children, where only async-signal-safe calls may run.
sigset_t ignored_at_start;
bool ignored_at_start_known = false;

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<unsigned>::is_always_lock_free &&
                  std::atomic<bool>::is_always_lock_free,
              "the signal handler needs lock-free atomics");

void catch_signal(int signal_number) { note_termination_signal(signal_number); }

void set_disposition(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // Interrupted system calls go on: the program looks at what it caught at
  // its own stopping points, and waits that must end early use ppoll.
  action.sa_flags = SA_RESTART;
  (void)::sigaction(signal_number, &action, nullptr);  // cannot fail for these signals
}

void remember_inherited_dispositions() {
  sigemptyset(&ignored_at_start);
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    struct sigaction current {};
    if (::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
      sigaddset(&ignored_at_start, signal_number);
    }
  }
  ignored_at_start_known = true;
}

}  // namespace

void catch_termination_signals() {
  if (!ignored_at_start_known) remember_inherited_dispositions();
  for (const int signal_number : kTerminationSignals) {
    if (!inherited_as_ignored(signal_number)) set_disposition(signal_number, catch_signal);
  }
  set_disposition(SIGPIPE, SIG_IGN);
  (void)::prctl(PR_SET_CHILD_SUBREAPER, 1);  // without it a forwarded signal's group is waited for less long
  catching = true;
}

void ignore_termination_signals() {
  catching = false;
  for (const int signal_number : kTerminationSignals) set_disposition(signal_number, SIG_IGN);
}

bool catching_termination_signals() { return catching; }

int first_termination_signal() { return first_caught; }

unsigned termination_signal_count() { return caught_count; }

int latest_termination_signal() { return latest_caught; }

void note_termination_signal(int signal_number) {
  int none = 0;
  first_caught.compare_exchange_strong(none, signal_number);
  latest_caught = signal_number;
  ++caught_count;
}

bool inherited_as_ignored(int signal_number) {
  return ignored_at_start_known && sigismember(&ignored_at_start, signal_number) == 1;
}

std::string signal_name(int signal_number) {
  switch (signal_number) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGQUIT: return "SIGQUIT";
    default: return "signal " + std::to_string(signal_number);
  }
}

}  // namespace sys
