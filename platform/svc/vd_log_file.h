// One routed log file.  It is opened at its first record and kept open, so
// that a record costs one write (and a look at the path): the program
// writes about a dozen records per policy command.  A log moved aside or
// removed while the process runs is created again at its path by the next
// record, and one emptied in place (logrotate's copytruncate) is written
// from its start, as when every record opened the file.
#pragma once

#include <sys/types.h>

#include <string>

#include "sys_fd.h"

namespace vd_detail {

class LogFile {
 public:
  explicit LogFile(std::string path) : path_(std::move(path)) {}

  // Appends the record with one write on an O_APPEND descriptor, so that
  // concurrent writers never interleave inside a record.  With
  // `starts_line`, a record written after free text that left a line open
  // starts on a new line.  A record that cannot be written is dropped:
  // logging must never stop the run.
  void append(const std::string& record, bool starts_line);

 private:
  bool open_once();
  // Closes the descriptor when the path no longer names its file.
  void check_path();

  std::string path_;
  sys::UniqueFd fd_;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  // Whether the file's last byte is not a newline: read from the file when
  // it is opened, then kept from what this process writes.
  bool line_open_ = false;
};

}  // namespace vd_detail
