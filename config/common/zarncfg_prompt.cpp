// The security master password prompt.
#include "zarncfg_prompt.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>

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
  action.sa_flags = SA_RESTART;
  sigaction(signal_number, &action, previous);
}

// Puts the user's echo back before the signal takes its default effect, so
// that an interrupted prompt never leaves a silent shell behind.  After a
// stop the prompt goes on, silent again.
void handle_interrupt(int signal_number) {
  const int saved_errno = errno;
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_attributes);
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
    // still finds the terminal's attributes to restore.
    for (std::size_t i = 0; i < kInterrupts.size(); ++i) install_interrupt_handler(kInterrupts[i], &previous_[i]);
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
    for (std::size_t i = 0; i < kInterrupts.size(); ++i) sigaction(kInterrupts[i], &previous_[i], nullptr);
  }

  std::array<struct sigaction, kInterrupts.size()> previous_{};
  bool silent_ = false;
};

// One line of any length without its newline; empty at the end of input.
std::string read_answer() {
  std::string line;
  int c = 0;
  while ((c = std::getchar()) != EOF && c != '\n') line.push_back(static_cast<char>(c));
  std::clearerr(stdin);
  return line;
}

std::string prompt_for_line(const std::string& prompt_text) {
  std::fputs(prompt_text.c_str(), stdout);
  std::fflush(stdout);
  std::string answer = read_answer();
  // The typed newline was not echoed.
  std::fputs("\n", stdout);
  std::fflush(stdout);
  return answer;
}

}  // namespace

std::string zarncfg_prompt_password(vd_msgid_t prompt, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_prompt_password");
  status = 0;
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
    answer = prompt_for_line(*prompt_text);
  }
  if (!zarncfg_is_empty(answer)) return answer;
  status = msg_id(1331);
  print_and_log_error(msg_id(1331));
  return kFailureText;
}
