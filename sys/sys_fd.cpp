#include "sys_fd.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <vector>

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

bool write_all(int fd, std::span<const std::string_view> pieces) {
  std::vector<iovec> left;
  left.reserve(pieces.size());
  for (const std::string_view piece : pieces) {
    if (!piece.empty()) left.push_back({const_cast<char*>(piece.data()), piece.size()});
  }
  for (std::size_t first = 0; first < left.size();) {
    const auto count = static_cast<int>(std::min<std::size_t>(left.size() - first, IOV_MAX));
    const ssize_t written = ::writev(fd, left.data() + first, count);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return false;
    if (written == 0) {
      errno = EIO;
      return false;
    }
    // Drop what went out: whole pieces, then the start of a partly written one.
    auto done = static_cast<std::size_t>(written);
    for (; first < left.size() && done >= left[first].iov_len; ++first) done -= left[first].iov_len;
    if (done > 0) {
      left[first].iov_base = static_cast<char*>(left[first].iov_base) + done;
      left[first].iov_len -= done;
    }
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
