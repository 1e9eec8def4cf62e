#include "sys_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <thread>

namespace sys {
namespace {

bool failed(std::string& why, const char* step) {
  why = std::string(step) + ": " + std::strerror(errno);
  return false;
}

UniqueFd refused(std::string& why, const char* step) {
  (void)failed(why, step);  // the empty descriptor tells the caller
  return UniqueFd();
}

// The holder writes its id right after it took the lock; a reader that
// comes in between waits a little for it.
pid_t read_holder(int fd) {
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    char text[32] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    pid_t pid = 0;
    if (got > 0 && std::from_chars(text, text + got, pid).ec == std::errc() && pid > 0) return pid;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

bool write_own_id(int fd, std::string& why) {
  const std::string text = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) != 0) return failed(why, "ftruncate");
  if (::pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) return failed(why, "write");
  return true;
}

}  // namespace

UniqueFd lock_file(const std::string& path, pid_t& holder, std::string& why) {
  holder = 0;
  why.clear();
  // Without O_CLOEXEC: see the header.  O_NONBLOCK: a FIFO planted at the
  // path must not hang the run.
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600));
  if (!fd.valid()) return refused(why, "open");
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return refused(why, "fstat");
  if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
    why = "not a regular file of this user";
    return UniqueFd();
  }
  int locked;
  do {
    locked = ::flock(fd.get(), LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0 && errno == EWOULDBLOCK) {
    holder = read_holder(fd.get());
    return UniqueFd();
  }
  if (locked != 0) return refused(why, "flock");
  if (!write_own_id(fd.get(), why)) return UniqueFd();
  return fd;
}

UniqueFd share_lock_file(const std::string& path, bool& held, pid_t& holder, std::string& why) {
  held = false;
  holder = 0;
  why.clear();
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
  if (!fd.valid() && errno == ENOENT) return UniqueFd();
  if (!fd.valid()) return refused(why, "open");
  int locked;
  do {
    locked = ::flock(fd.get(), LOCK_SH | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0 && errno == EWOULDBLOCK) {
    held = true;
    holder = read_holder(fd.get());
    return UniqueFd();
  }
  if (locked != 0) return refused(why, "flock");
  return fd;
}

}  // namespace sys
