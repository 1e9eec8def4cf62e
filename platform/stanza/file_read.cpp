#include "file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sys_fd.h"

namespace stz {

std::optional<std::string> readRegularFile(const std::string& path, std::string& why) {
  const sys::UniqueFd fd = sys::open_fd(path, O_RDONLY | O_NOCTTY);
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
  if (!sys::read_all(fd.get(), bytes)) {
    why = std::string("read: ") + std::strerror(errno);
    return std::nullopt;
  }
  return bytes;
}

}  // namespace stz
