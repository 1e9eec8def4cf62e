// Running commands and opening files.
#include "zarncfg_process.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <optional>

#include "sys_child.h"
#include "sys_fd.h"
#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

namespace {

// The log takes captured output in entries of at most this many bytes.
constexpr std::size_t kLogPiece = 999;
constexpr int kNoProcess = -99;
constexpr int kNotRun = -1;

// A termination signal that reaches the run while the command works is
// passed on to it, and the run waits until it has ended before it undoes
// anything.
sys::ChildSpec shell_command(const char* option, const std::string& command) {
  sys::ChildSpec spec("/bin/sh", {"sh", option, command});
  spec.forward_termination_signals = true;
  return spec;
}

// The shell's end by the runner's rule: its exit code, or 128 + the signal
// number for one killed by a signal, so that it never passes for success.
int exit_code(sys::Child& child, int when_lost) {
  const std::optional<sys::ExitStatus> end = child.wait();
  return end ? end->code : when_lost;
}

// A new empty file in the working directory named from "XXXXXX"; mkstemp
// creates it with mode 0600, so output that echoes a secret is never
// readable by others.
bool create_output_file(std::string& name) {
  std::string pattern = "XXXXXX";
  const sys::UniqueFd file(mkostemp(pattern.data(), O_CLOEXEC));
  if (!file.valid()) return false;
  name = pattern;
  return true;
}

// One line without its newline; false at the end of the file.
bool read_line(std::FILE* file, std::string& line) {
  line.clear();
  int c = 0;
  while ((c = std::getc(file)) != EOF) {
    if (c == '\n') return true;
    line.push_back(static_cast<char>(c));
  }
  return !line.empty();
}

void log_in_pieces(const std::string& line) {
  std::size_t at = 0;
  do {
    log_free_text(std::string_view(line).substr(at, kLogPiece));
    at += kLogPiece;
  } while (at < line.size());
}

}  // namespace

int zarncfg_run_shell(const std::string& command, bool quiet_errors) {
  sys::ChildSpec spec = shell_command("-c", command);
  const sys::UniqueFd null = quiet_errors ? sys::open_fd("/dev/null", O_WRONLY) : sys::UniqueFd();
  if (null.valid()) spec.stderr_fd = null.get();
  std::optional<sys::Child> child = sys::Child::start(spec);
  return child ? exit_code(*child, kNotRun) : kNotRun;
}

ScopedFile::~ScopedFile() {
  if (!path_.empty()) (void)std::remove(path_.c_str());
}

ScopedFile& ScopedFile::operator=(ScopedFile&& other) noexcept {
  if (this != &other) {
    if (!path_.empty()) (void)std::remove(path_.c_str());
    path_ = std::move(other.path_);
    other.path_.clear();
  }
  return *this;
}

int zarncfg_popen(const std::string& command, const std::string& display, std::string& output_file) {
  FunctionTrace scope("zarncfg_popen");
  const std::string& shown = zarncfg_is_empty(display) ? command : display;
  trace(msg_id(376), shown);
  output_file.clear();
  if (!create_output_file(output_file)) {
    print_and_log_error(msg_id(1339), shown);
    return kNoProcess;
  }
  // The group makes the redirection cover every part of a list or pipeline,
  // not only its last command; the newline ends a trailing comment.
  const std::string full_command = "{ " + command + "\n} > " + zarncfg_shell_word(output_file) + " 2>&1";
  std::optional<sys::Child> child = sys::Child::start(shell_command("-cf", full_command));
  if (!child) {
    print_and_log_error(msg_id(1339), shown);
    return kNoProcess;
  }
  // A shell that could not be executed ends with 127, as its command would.
  if (child->exec_error() != 0) print_and_log_error(msg_id(1339), shown);
  const int result = exit_code(*child, kNoProcess);
  trace(msg_id(377), shown, result);
  zarncfg_cat_log(output_file);
  return result;
}

int zarncfg_popen(const std::string& command, const std::string& display, ScopedFile& output) {
  output = ScopedFile();
  return zarncfg_popen(command, display, output.path());
}

int zarncfg_run_tool(const std::string& command, const std::string& display) {
  ScopedFile output;
  return zarncfg_popen(command, display, output);
}

int zarncfg_cat_log(const std::string& file) {
  FunctionTrace scope("zarncfg_cat_log");
  vd_msgid_t status = 0;
  const FileHandle in = zarncfg_open_file(file, "r", status);
  if (!in) return 0;
  log_msg(SUB_UTIL, VD_ATTR_NOTICE | VD_ATTR_FREE_TEXT, msg_id(5));
  std::string line;
  while (read_line(in.get(), line)) log_in_pieces(line);
  log_free_text("----------------------------------- \n");
  return 1;
}

FileHandle zarncfg_open_file(const std::string& path, const char* mode, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_open_file");
  // "e": the descriptor must not leak into the commands this program runs.
  const std::string close_on_exec_mode = std::string(mode) + "e";
  FileHandle file(std::fopen(path.c_str(), close_on_exec_mode.c_str()));
  if (!file) {
    status = msg_id(1340);
    print_and_log_error(msg_id(1340), path);
  }
  return file;
}
