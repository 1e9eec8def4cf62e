#include "file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "unique_fd.h"

namespace stz {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

bool readAll(int fd, std::string& bytes, std::string& why) {
  std::size_t filled = bytes.size();
  for (;;) {
    bytes.resize(filled + kChunk);
    const ssize_t got = ::read(fd, bytes.data() + filled, kChunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      why = std::string("read: ") + std::strerror(errno);
      return false;
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return true;
}

}  // namespace

std::optional<std::string> readRegularFile(const std::string& path, std::string& why) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid()) {
    why = std::strerror(errno);
    return std::nullopt;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    why = std::string("fstat: ") + std::strerror(errno);
    return std::nullopt;
  }
  if (!S_ISREG(info.st_mode)) {
    why = "not a regular file";
    return std::nullopt;
  }
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(info.st_size) + 1);
  if (!readAll(fd.get(), bytes, why)) return std::nullopt;
  return bytes;
}

}  // namespace stz
