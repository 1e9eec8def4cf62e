#include "atomic_replace.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "unique_fd.h"

namespace stz {
namespace {

// Long names are cut so that the temporary name stays within NAME_MAX.
constexpr std::size_t kMaxBaseInTempName = 64;

struct FreeDeleter {
  void operator()(char* p) const { ::free(p); }
};

// A temporary file that is removed unless it has been renamed into place.
class TempFile {
 public:
  explicit TempFile(std::string directory, std::string_view base) {
    std::string pattern = directory + "/." + std::string(base.substr(0, kMaxBaseInTempName)) + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = UniqueFd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd_.valid()) path_.assign(name.data());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    fd_.reset();
    if (!path_.empty()) (void)::unlink(path_.c_str());
  }

  UniqueFd& fd() { return fd_; }
  const std::string& path() const { return path_; }
  void keep() { path_.clear(); }

 private:
  UniqueFd fd_;
  std::string path_;
};

bool failed(std::string& why, const char* step) {
  why = std::string(step) + ": " + std::strerror(errno);
  return false;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t wrote = ::write(fd, bytes.data(), bytes.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(wrote));
  }
  return true;
}

bool fillTempFile(TempFile& temp, std::string_view bytes, const struct stat& original, std::string& why) {
  const int fd = temp.fd().get();
  if (!writeAll(fd, bytes)) return failed(why, "write");
  // fchown first: it may clear set-id bits that fchmod then restores.
  if (::fchown(fd, original.st_uid, original.st_gid) != 0) return failed(why, "fchown");
  if (::fchmod(fd, original.st_mode & 07777) != 0) return failed(why, "fchmod");
  if (::fsync(fd) != 0) return failed(why, "fsync");
  if (temp.fd().close() != 0) return failed(why, "close");
  return true;
}

// The rename reaches the disk only once the directory is synced.
bool syncDirectory(const std::string& directory, std::string& why) {
  UniqueFd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) return failed(why, "open directory");
  if (::fsync(dir.get()) != 0) return failed(why, "fsync directory");
  return true;
}

}  // namespace

bool replaceFileAtomically(const std::string& path, std::string_view bytes, std::string& why) {
  const std::unique_ptr<char, FreeDeleter> resolved(::realpath(path.c_str(), nullptr));
  if (!resolved) return failed(why, "realpath");
  const std::string target(resolved.get());
  struct stat original {};
  if (::stat(target.c_str(), &original) != 0) return failed(why, "stat");
  if (!S_ISREG(original.st_mode)) {
    why = "not a regular file";
    return false;
  }
  const std::size_t slash = target.rfind('/');  // realpath gives an absolute path
  const std::string directory = slash == 0 ? "/" : target.substr(0, slash);
  TempFile temp(directory, std::string_view(target).substr(slash + 1));
  if (!temp.fd().valid()) return failed(why, "mkostemp");
  if (!fillTempFile(temp, bytes, original, why)) return false;
  if (::rename(temp.path().c_str(), target.c_str()) != 0) return failed(why, "rename");
  temp.keep();
  return syncDirectory(directory, why);
}

}  // namespace stz
