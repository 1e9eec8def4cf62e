#include "sys_fd.h"

#include <fcntl.h>

#include <cerrno>

namespace sys {

UniqueFd open_fd(const std::string& path, int flags, mode_t mode) {
  return UniqueFd(::open(path.c_str(), flags | O_CLOEXEC, mode));
}

bool make_pipe(Pipe& pipe) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  pipe.read_end.reset(fds[0]);
  pipe.write_end.reset(fds[1]);
  return true;
}

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return false;
    if (written == 0) {
      // Never for a regular file or a pipe; stop rather than spin.
      errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool read_all(int fd, std::string& bytes) {
  constexpr std::size_t kChunk = 64 * 1024;
  std::size_t filled = bytes.size();
  for (;;) {
    bytes.resize(filled + kChunk);
    const ssize_t got = ::read(fd, bytes.data() + filled, kChunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      const int error = errno;
      bytes.resize(filled);
      errno = error;
      return got == 0;
    }
    filled += static_cast<std::size_t>(got);
  }
}

}  // namespace sys
