// Each configuration file is copied to "<file>.bak" before a run and moved
// back after a failed one.  The copy keeps owner and mode, so that a restored
// file is the file as it was, and the restore is one rename: there is no
// moment without the file.
#include "zarncfg_backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "zarncfg_report.h"
#include "zarncfg_tables.h"

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

bool copy_bytes(int from, int to) {
  char buffer[65536];
  while (true) {
    const ssize_t n = read(from, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) return false;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(to, buffer + done, static_cast<std::size_t>(n - done));
      if (w <= 0) return false;
      done += w;
    }
  }
}

// Copies source to target through a temporary file in the target's
// directory, so that target is either absent or complete.
bool copy_keeping_owner_and_mode(const std::string& source, const std::string& target) {
  Fd in(open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  struct stat info {};
  if (in.get() < 0 || fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  std::string temp = target + ".XXXXXX";
  Fd out(mkostemp(temp.data(), O_CLOEXEC));
  if (out.get() < 0) return false;
  const bool ok = copy_bytes(in.get(), out.get()) && fchown(out.get(), info.st_uid, info.st_gid) == 0 &&
                  fchmod(out.get(), info.st_mode & 07777) == 0 && fsync(out.get()) == 0 &&
                  rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

}  // namespace

void zarncfg_backup_conf_files() {
  FunctionTrace scope("zarncfg_backup_conf_files");
  for (const char* path : ZARNCFG_CONF_FILES) {
    const std::string backup = std::string(path) + ".bak";
    if (exists(backup)) std::remove(backup.c_str());
    if (exists(path)) copy_keeping_owner_and_mode(path, backup);
  }
}

void zarncfg_restore_conf_files() {
  FunctionTrace scope("zarncfg_restore_conf_files");
  for (const char* path : ZARNCFG_CONF_FILES) {
    const std::string backup = std::string(path) + ".bak";
    if (exists(backup)) std::rename(backup.c_str(), path);
  }
}
