// Running commands, opening files, account look-ups and autostart links.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "zarncfg_msg.h"

// Runs a command line through /bin/sh (the current runner) and waits for
// it; the shell's exit status (128 + the signal number when a signal ended
// it), or -1 when it could not be run.  Nothing is logged; the display text
// stands for the command wherever it may be shown.  With quiet_errors the
// shell's own diagnostics (a missing program in a pipeline, say) do not
// reach the user's terminal.
int zarncfg_run_shell(const std::string& command, const std::string& display = "", bool quiet_errors = false);

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Removes the named file when it goes out of scope; an empty name removes
// nothing.  zarncfg_popen leaves its output file behind, so every caller
// holds the name in one of these.
class ScopedFile {
 public:
  ScopedFile() = default;
  explicit ScopedFile(std::string path) : path_(std::move(path)) {}
  ~ScopedFile();
  ScopedFile(ScopedFile&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
  ScopedFile& operator=(ScopedFile&& other) noexcept;
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;

  std::string& path() { return path_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Runs the command through the current runner as "/bin/sh -cf <command>",
// with its standard output and error going to a new 0600 file in the
// working directory whose name is stored in output_file, and copies what
// the command printed into the log.  The log shows the display text (the
// command with its secrets masked) unless it is blank.  Result: the exit
// code, 128 + the signal number for a command killed by a signal, -99 when
// no command could be started.
int zarncfg_popen(const std::string& command, const std::string& display, std::string& output_file);
// The same, with the output file removed when `output` goes out of scope.
int zarncfg_popen(const std::string& command, const std::string& display, ScopedFile& output);
// The same, with the output file removed at once: the configuration
// actions judge their tools by the exit status alone.
int zarncfg_run_tool(const std::string& command, const std::string& display);

// Copies the file into the log between the command-output markers; 0 when
// it cannot be opened.
int zarncfg_cat_log(const std::string& file);

// fopen (close-on-exec) that reports ZRNCF1340E when the file cannot be opened.
FileHandle zarncfg_open_file(const std::string& path, const char* mode, vd_msgid_t& status);

// The identifiers of a user and a group; 0 with ZRNCF1344E / ZRNCF1345E
// when the name is unknown.
uid_t zarncfg_get_pw_uid(const std::string& name, vd_msgid_t& status);
gid_t zarncfg_get_group_gid(const std::string& name, vd_msgid_t& status);

// Each entry is "<target> <link>"; the link is removed, and with enable 1
// created again as a symbolic link to the target.  An empty entry ends the
// list.  Every entry is handled; the status holds the last failure.
void zarncfg_configure_soft_links(std::span<const std::string_view> links, int enable, vd_msgid_t& status);

// Sets owner, group and mode of a file, tracing each call with its result.
// Failures are only traced: the callers go on with the file as it is.
void zarncfg_set_owner_and_mode(const std::string& path, uid_t owner, gid_t group, mode_t mode);
