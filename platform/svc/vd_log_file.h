// One routed log file.  It is opened at its first record and kept open for
// the rest of the process, so that a record costs one write: the program
// writes about a dozen records per policy command.
#pragma once

#include <string>

namespace vd_detail {

class LogFile {
 public:
  explicit LogFile(std::string path) : path_(std::move(path)) {}
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Appends the record with one write on an O_APPEND descriptor, so that
  // concurrent writers never interleave inside a record.  With
  // `starts_line`, a record written after free text that left a line open
  // starts on a new line.  A record that cannot be written is dropped:
  // logging must never stop the run.
  void append(const std::string& record, bool starts_line);

 private:
  bool open_once();

  std::string path_;
  int fd_ = -1;
  // Whether the file's last byte is not a newline: read from the file when
  // it is opened, then kept from what this process writes.
  bool line_open_ = false;
};

}  // namespace vd_detail
