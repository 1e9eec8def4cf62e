#include "vd_log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vd_detail {

LogFile::~LogFile() {
  if (fd_ >= 0) ::close(fd_);
}

// Created on the first record (mode 0660 before the umask), never through a
// symbolic link.  A file that cannot be opened now is tried again at the
// next record.
bool LogFile::open_once() {
  if (fd_ >= 0) return true;
  fd_ = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0660);
  if (fd_ < 0) return false;
  struct stat info {};
  if (fstat(fd_, &info) != 0) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  dev_ = info.st_dev;
  ino_ = info.st_ino;
  char last = '\n';
  line_open_ = info.st_size > 0 && pread(fd_, &last, 1, info.st_size - 1) == 1 && last != '\n';
  return true;
}

// lstat, not stat: a symbolic link put in the log's place is not the log,
// and the reopen (O_NOFOLLOW) then refuses it.
void LogFile::forget_if_moved() {
  if (fd_ < 0) return;
  struct stat info {};
  if (lstat(path_.c_str(), &info) == 0 && info.st_dev == dev_ && info.st_ino == ino_) return;
  ::close(fd_);
  fd_ = -1;
}

void LogFile::append(const std::string& record, bool starts_line) {
  if (record.empty()) return;
  forget_if_moved();
  if (!open_once()) return;
  const std::string text = starts_line && line_open_ ? "\n" + record : record;
  const ssize_t written = ::write(fd_, text.data(), text.size());
  if (written > 0) line_open_ = text[static_cast<std::size_t>(written) - 1] != '\n';
}

}  // namespace vd_detail
