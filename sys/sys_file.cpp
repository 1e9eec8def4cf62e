#include "sys_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "sys_fd.h"

namespace sys {
namespace {

// Long names are cut so that the temporary name stays within NAME_MAX.
constexpr std::size_t kMaxBaseInTempName = 64;

bool failed(std::string& why, const char* step) {
  why = std::string(step) + ": " + std::strerror(errno);
  return false;
}

struct FreeDeleter {
  void operator()(char* p) const { ::free(p); }
};

struct FolderAndName {
  std::string folder;
  std::string name;
};

FolderAndName split(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// A hidden temporary file beside the target, removed unless it has been
// renamed into place.
class TempFile {
 public:
  explicit TempFile(const FolderAndName& target) {
    const std::string pattern =
        target.folder + "/." + target.name.substr(0, kMaxBaseInTempName) + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_.reset(::mkostemp(name.data(), O_CLOEXEC));
    if (fd_.valid()) path_.assign(name.data());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    fd_.reset();
    if (!path_.empty()) (void)::unlink(path_.c_str());  // nothing more to do about a temporary file we cannot remove
  }

  UniqueFd& fd() { return fd_; }
  const std::string& path() const { return path_; }
  void keep() { path_.clear(); }

 private:
  UniqueFd fd_;
  std::string path_;
};

// The rename reaches the disk only once the folder is synced.
bool sync_folder(const std::string& folder, std::string& why) {
  const UniqueFd dir = open_fd(folder, O_RDONLY | O_DIRECTORY);
  if (!dir.valid()) return failed(why, "open directory");
  if (::fsync(dir.get()) != 0) return failed(why, "fsync directory");
  return true;
}

using Filler = std::function<bool(int fd, std::string& why)>;

// The one sequence both entry points share.
bool install(const std::string& target, const struct stat& attributes, const Filler& fill, std::string& why) {
  const FolderAndName where = split(target);
  TempFile temp(where);
  if (!temp.fd().valid()) return failed(why, "mkostemp");
  const int fd = temp.fd().get();
  if (!fill(fd, why)) return false;
  // fchown first: it may clear set-id bits that fchmod then restores.
  if (::fchown(fd, attributes.st_uid, attributes.st_gid) != 0) return failed(why, "fchown");
  if (::fchmod(fd, attributes.st_mode & 07777) != 0) return failed(why, "fchmod");
  if (::fsync(fd) != 0) return failed(why, "fsync");
  if (temp.fd().close() != 0) return failed(why, "close");
  if (::rename(temp.path().c_str(), target.c_str()) != 0) return failed(why, "rename");
  temp.keep();
  return sync_folder(where.folder, why);
}

bool copy_bytes(int from, int to, std::string& why) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failed(why, "read");
    if (got == 0) return true;
    if (!write_all(to, std::string_view(buffer, static_cast<std::size_t>(got)))) return failed(why, "write");
  }
}

}  // namespace

bool replace_file(const std::string& path, std::string_view bytes, std::string& why) {
  const std::unique_ptr<char, FreeDeleter> resolved(::realpath(path.c_str(), nullptr));
  if (!resolved) return failed(why, "realpath");
  const std::string target(resolved.get());
  struct stat original {};
  if (::stat(target.c_str(), &original) != 0) return failed(why, "stat");
  if (!S_ISREG(original.st_mode)) {
    why = "not a regular file";
    return false;
  }
  return install(target, original, [bytes](int fd, std::string& reason) {
    return write_all(fd, bytes) || failed(reason, "write");
  }, why);
}

bool copy_file(const std::string& source, const std::string& target, std::string& why, SourceLink source_link) {
  // O_NONBLOCK: a FIFO planted at the source must not hang the copy.
  const int follow = source_link == SourceLink::follow ? 0 : O_NOFOLLOW;
  const UniqueFd in = open_fd(source, O_RDONLY | follow | O_NONBLOCK | O_NOCTTY);
  if (!in.valid()) return failed(why, "open");
  struct stat info {};
  if (::fstat(in.get(), &info) != 0) return failed(why, "fstat");
  if (!S_ISREG(info.st_mode)) {
    why = "not a regular file";
    return false;
  }
  return install(target, info, [&in](int fd, std::string& reason) { return copy_bytes(in.get(), fd, reason); },
                 why);
}

bool write_file(const std::string& path, std::string_view bytes, mode_t mode, std::string& why) {
  struct stat attributes {};
  attributes.st_uid = ::geteuid();
  attributes.st_gid = ::getegid();
  attributes.st_mode = mode;
  return install(path, attributes, [bytes](int fd, std::string& reason) {
    return write_all(fd, bytes) || failed(reason, "write");
  }, why);
}

bool remove_file(const std::string& path, std::string& why) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return failed(why, "unlink");
  return sync_folder(split(path).folder, why);
}

}  // namespace sys
