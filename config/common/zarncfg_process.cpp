// Running commands and opening files.
#include "zarncfg_process.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>

#include "sys_fd.h"
#include "zarncfg_file_writes.h"
#include "zarncfg_runner.h"
#include "zarncfg_svc.h"

namespace {

// The log takes captured output in entries of at most this many bytes.
constexpr std::size_t kLogPiece = 999;
constexpr int kNoProcess = -99;
constexpr int kNotRun = -1;

// A new empty file in the working directory named from "XXXXXX", open for
// writing; mkstemp creates it with mode 0600, so output that echoes a
// secret is never readable by others.
sys::UniqueFd create_output_file(std::string& name) { return current_file_writes().scratch_file("XXXXXX", name); }

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

int zarncfg_run_shell(const std::string& command, const std::string& display, bool quiet_errors) {
  ShellCommand shell(command, display);
  const sys::UniqueFd null = quiet_errors ? sys::open_fd("/dev/null", O_WRONLY) : sys::UniqueFd();
  if (null.valid()) shell.errors = StreamRoute{null.get(), "/dev/null"};
  return current_runner().run(shell).status.value_or(kNotRun);
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
  ShellCommand shell(command, display);
  shell.flags = "-cf";
  trace(msg_id(376), shell.shown());
  output_file.clear();
  const sys::UniqueFd output = create_output_file(output_file);
  if (!output.valid()) {
    print_and_log_error(msg_id(1339), shell.shown());
    return kNoProcess;
  }
  // Both streams of the shell itself go to the file, so it holds the output
  // of every part of a list or pipeline and the shell's own complaints.
  shell.output = shell.errors = StreamRoute{output.get(), output_file};
  const CommandEnd end = current_runner().run(shell);
  // A shell that could not be executed ends with 127, as its command would.
  if (!end.status || end.exec_failed) print_and_log_error(msg_id(1339), shell.shown());
  if (!end.status) return kNoProcess;
  trace(msg_id(377), shell.shown(), *end.status);
  zarncfg_cat_log(output_file);
  return *end.status;
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
