// Running commands and opening files.
#include "zarncfg_process.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "zarncfg_report.h"
#include "zarncfg_strings.h"

namespace {

// The log takes captured output in entries of at most this many bytes.
constexpr std::size_t kLogPiece = 999;
constexpr int kNoProcess = -99;
constexpr int kShellNotStarted = 127;

// Waits for the child; a command killed by a signal reports 128 + the signal
// number, as a shell would, so that it never passes for success.
int wait_for_exit_code(pid_t child) {
  int wait_status = 0;
  while (waitpid(child, &wait_status, 0) < 0) {
    if (errno != EINTR) return kNoProcess;
  }
  if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
  return kNoProcess;
}

// A new empty file in the working directory named from "XXXXXX"; mkstemp
// creates it with mode 0600, so output that echoes a secret is never
// readable by others.
bool create_output_file(std::string& name) {
  std::string pattern = "XXXXXX";
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  name = pattern;
  return true;
}

[[noreturn]] void exec_shell(const std::string& full_command, const std::string& shown) {
  execl("/bin/sh", "sh", "-cf", full_command.c_str(), static_cast<char*>(nullptr));
  print_and_log_error(msg_id(1339), shown);
  std::fflush(stdout);
  _exit(kShellNotStarted);
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
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (quiet_errors) {
      const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
      if (null >= 0) dup2(null, STDERR_FILENO);
    }
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(kShellNotStarted);
  }
  int wait_status = 0;
  while (waitpid(child, &wait_status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  // A command killed by a signal has failed; it never counts as success.
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
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
  // Buffered output would otherwise be written twice, once by the child.
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) {
    print_and_log_error(msg_id(1339), shown);
    return kNoProcess;
  }
  if (child == 0) exec_shell(full_command, shown);
  const int result = wait_for_exit_code(child);
  trace(msg_id(377), shown, result);
  zarncfg_cat_log(output_file);
  return result;
}

int zarncfg_popen(const std::string& command, const std::string& display, ScopedFile& output) {
  output = ScopedFile();
  return zarncfg_popen(command, display, output.path());
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
