#include "vd_log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vd_detail {

// Created on the first record (mode 0660 before the umask), never through a
// symbolic link.  A file that cannot be opened now is tried again at the
// next record.
bool LogFile::open_once() {
  if (fd_.valid()) return true;
  sys::UniqueFd fd = sys::open_fd(path_, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW, 0660);
  struct stat info {};
  if (!fd.valid() || fstat(fd.get(), &info) != 0) return false;
  fd_ = std::move(fd);
  dev_ = info.st_dev;
  ino_ = info.st_ino;
  char last = '\n';
  line_open_ = info.st_size > 0 && pread(fd_.get(), &last, 1, info.st_size - 1) == 1 && last != '\n';
  return true;
}

// lstat, not stat: a symbolic link put in the log's place is not the log,
// and the reopen (O_NOFOLLOW) then refuses it.  A log emptied in place
// (rotation by copy and truncate) has no open line any more.
void LogFile::check_path() {
  if (!fd_.valid()) return;
  struct stat info {};
  if (lstat(path_.c_str(), &info) == 0 && info.st_dev == dev_ && info.st_ino == ino_) {
    if (info.st_size == 0) line_open_ = false;
    return;
  }
  fd_.reset();
}

void LogFile::append(const std::string& record, bool starts_line) {
  if (record.empty()) return;
  check_path();
  if (!open_once()) return;
  const std::string text = starts_line && line_open_ ? "\n" + record : record;
  // One write, not a loop: a record must reach the file in one piece or
  // not at all, so that concurrent writers cannot interleave inside it.
  const ssize_t written = ::write(fd_.get(), text.data(), text.size());
  if (written > 0) line_open_ = text[static_cast<std::size_t>(written) - 1] != '\n';
}

}  // namespace vd_detail
