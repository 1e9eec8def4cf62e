// A temporary file that hands passwords to a tool on its standard input.
#pragma once

#include <string>
#include <string_view>

#include "sys_fd.h"
#include "zarncfg_host_path.h"
#include "zarncfg_msg.h"

inline constexpr const char* PASSWORD_FILE_DIRECTORY = "/opt/zarn/etc";
inline constexpr const char* PASSWORD_FILE_PREFIX = ".zarncfg-pw.";
inline constexpr const char* PASSWORD_FILE_TEMPLATE = "/opt/zarn/etc/.zarncfg-pw.XXXXXX";

// Removes password files that a run killed while its tool ran left behind.
// No destructor runs after SIGKILL, so every run of the program sweeps them.
void zarncfg_remove_stale_password_files(const std::string& directory = PASSWORD_FILE_DIRECTORY);

// Created with mkstemp (mode 0600) from a template, removed when the object
// goes away, whatever path the caller takes.
class PasswordFile {
 public:
  // On failure prints and logs ZRNCF1340E and sets the status; path() is
  // then empty.
  explicit PasswordFile(vd_msgid_t& status, std::string name_template = zarncfg_host_path(PASSWORD_FILE_TEMPLATE));
  ~PasswordFile();
  PasswordFile(const PasswordFile&) = delete;
  PasswordFile& operator=(const PasswordFile&) = delete;

  bool is_open() const { return fd_.valid(); }
  const std::string& path() const { return path_; }
  // Writes the password and a newline; false when the write fails.
  bool add_line(std::string_view password);
  // Closes the file (the tool reads it by name); it stays until destruction.
  void close();

 private:
  std::string path_;
  sys::UniqueFd fd_;
};
