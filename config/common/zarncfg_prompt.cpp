// The security master password prompt.
#include "zarncfg_prompt.h"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <optional>

#include "sys_signals.h"
#include "zarncfg_interrupt.h"
#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

namespace {

const std::string kFailureText = "\x1e";

// The signals that end or stop a process from the keyboard or the session.
constexpr std::array<int, 5> kInterrupts = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

// Read by the signal handler, so they live in static storage; written only
// while no handler of ours is installed.
termios saved_attributes{};
termios silent_attributes{};

void handle_interrupt(int signal_number);

void install_interrupt_handler(int signal_number, struct sigaction* previous) {
  struct sigaction action {};
  action.sa_handler = handle_interrupt;
  sigemptyset(&action.sa_mask);
  // A stop must not cut the answer short; a termination signal ends the
  // wait for it (see read_answer).
  action.sa_flags = signal_number == SIGTSTP ? SA_RESTART : 0;
  sigaction(signal_number, &action, previous);
}

// Puts the user's echo back first, so that an interrupted prompt never
// leaves a silent shell behind.  In a run that catches termination signals
// the signal is then noted and the run ends through its exit routine;
// otherwise it takes its default effect.  After a stop the prompt goes on,
// silent again.
void handle_interrupt(int signal_number) {
  const int saved_errno = errno;
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_attributes);
  if (signal_number != SIGTSTP && sys::catching_termination_signals()) {
    sys::note_termination_signal(signal_number);
    errno = saved_errno;
    return;
  }
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(signal_number, &default_action, nullptr);
  sigset_t just_this;
  sigemptyset(&just_this);
  sigaddset(&just_this, signal_number);
  sigprocmask(SIG_UNBLOCK, &just_this, nullptr);
  raise(signal_number);
  // Only a stop signal comes back here, once the process is continued.
  install_interrupt_handler(signal_number, nullptr);
  tcsetattr(STDIN_FILENO, TCSANOW, &silent_attributes);
  errno = saved_errno;
}

// Echo off on standard input while it lives.
class SilentTerminal {
 public:
  // `saved` is what the terminal returns to.
  explicit SilentTerminal(const termios& saved) {
    saved_attributes = saved;
    silent_attributes = saved;
    silent_attributes.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
    // The handlers go in first: an interrupt between the two steps then
    // still finds the terminal's attributes to restore.  A signal the run
    // inherited as ignored stays ignored.
    for (std::size_t i = 0; i < kInterrupts.size(); ++i) {
      installed_[i] = !sys::inherited_as_ignored(kInterrupts[i]);
      if (installed_[i]) install_interrupt_handler(kInterrupts[i], &previous_[i]);
    }
    silent_ = tcsetattr(STDIN_FILENO, TCSANOW, &silent_attributes) == 0;
    if (!silent_) restore_handlers();
  }
  ~SilentTerminal() {
    if (!silent_) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_attributes);
    restore_handlers();
  }
  SilentTerminal(const SilentTerminal&) = delete;
  SilentTerminal& operator=(const SilentTerminal&) = delete;

  bool silent() const { return silent_; }

 private:
  void restore_handlers() {
    for (std::size_t i = 0; i < kInterrupts.size(); ++i) {
      if (installed_[i]) sigaction(kInterrupts[i], &previous_[i], nullptr);
    }
  }

  std::array<struct sigaction, kInterrupts.size()> previous_{};
  std::array<bool, kInterrupts.size()> installed_{};
  bool silent_ = false;
};

// Termination signals blocked while it lives.
class TerminationBlocked {
 public:
  TerminationBlocked() {
    sigset_t termination;
    sigemptyset(&termination);
    for (const int signal_number : sys::kTerminationSignals) sigaddset(&termination, signal_number);
    sigprocmask(SIG_BLOCK, &termination, &outside_);
    while_waiting_ = outside_;
    for (const int signal_number : sys::kTerminationSignals) sigdelset(&while_waiting_, signal_number);
  }
  ~TerminationBlocked() { sigprocmask(SIG_SETMASK, &outside_, nullptr); }
  TerminationBlocked(const TerminationBlocked&) = delete;
  TerminationBlocked& operator=(const TerminationBlocked&) = delete;

  // The mask to wait with: termination signals let through.
  const sigset_t* while_waiting() const { return &while_waiting_; }

 private:
  sigset_t outside_{};
  sigset_t while_waiting_{};
};

// One line of any length without its newline; empty at the end of input.
// Nothing when a termination signal was caught first: the termination
// signals get through only while ppoll waits, so one that comes just
// before the wait still ends it.
std::optional<std::string> read_answer() {
  const TerminationBlocked blocked;
  std::string line;
  for (;;) {
    if (sys::first_termination_signal() != 0) return std::nullopt;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = ppoll(&input, 1, nullptr, blocked.while_waiting());
    if (ready < 0 && errno == EINTR) continue;
    char c = 0;
    const ssize_t got = ready > 0 ? read(STDIN_FILENO, &c, 1) : -1;
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || c == '\n') return line;
    line.push_back(c);
  }
}

std::optional<std::string> prompt_for_line(const std::string& prompt_text) {
  std::fputs(prompt_text.c_str(), stdout);
  std::fflush(stdout);
  std::optional<std::string> answer = read_answer();
  // The typed newline was not echoed.
  std::fputs("\n", stdout);
  std::fflush(stdout);
  return answer;
}

}  // namespace

namespace {

bool prompts_refused = false;

}  // namespace

void zarncfg_refuse_prompts(bool refuse) { prompts_refused = refuse; }

std::string zarncfg_prompt_password(vd_msgid_t prompt, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_prompt_password");
  status = 0;
  if (prompts_refused) {
    status = msg_id(1443);
    print_and_log_error(msg_id(1443));
    return kFailureText;
  }
  termios saved{};
  if (tcgetattr(STDIN_FILENO, &saved) != 0) {
    status = msg_id(1328);
    print_and_log_error(msg_id(1328));
    return kFailureText;
  }
  std::string answer;
  {
    const SilentTerminal terminal(saved);
    if (!terminal.silent()) log_error(msg_id(1329));
    const std::optional<std::string> prompt_text = vd_sprintf(prompt);
    if (!prompt_text) {
      status = msg_id(1330);
      return kFailureText;
    }
    const std::optional<std::string> line = prompt_for_line(*prompt_text);
    if (!line) {
      (void)zarncfg_interrupted(status);  // reports the signal, sets the status
      return kFailureText;
    }
    answer = *line;
  }
  if (!zarncfg_is_empty(answer)) return answer;
  status = msg_id(1331);
  print_and_log_error(msg_id(1331));
  return kFailureText;
}
