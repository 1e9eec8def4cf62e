#include "zarncfg_file_copy.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

UniqueFd::~UniqueFd() {
  // On Linux the descriptor is released even when close reports EINTR, so
  // it is never retried.
  if (fd_ >= 0) close(fd_);
}

bool zarncfg_write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = write(fd, data.data(), data.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

namespace {

bool copy_bytes(int from, int to) {
  char buffer[65536];
  while (true) {
    const ssize_t got = read(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got == 0;
    if (!zarncfg_write_all(to, std::string_view(buffer, static_cast<std::size_t>(got)))) return false;
  }
}

}  // namespace

bool zarncfg_copy_file(const std::string& source, const std::string& target) {
  const UniqueFd in(open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  struct stat info {};
  if (in.get() < 0 || fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  std::string temp = target + ".XXXXXX";
  const UniqueFd out(mkostemp(temp.data(), O_CLOEXEC));
  if (out.get() < 0) return false;
  const bool ok = copy_bytes(in.get(), out.get()) && fchown(out.get(), info.st_uid, info.st_gid) == 0 &&
                  fchmod(out.get(), info.st_mode & 07777) == 0 && fsync(out.get()) == 0 &&
                  rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}
