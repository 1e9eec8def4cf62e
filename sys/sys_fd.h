// Owning file descriptors, pipes, and reads and writes of whole buffers.
// Everything the tree opens goes through here or is opened O_CLOEXEC by
// hand: a descriptor reaches a child only when the child runner is told to
// hand it over.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace sys {

// Owns one file descriptor and closes it on every path out.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // The caller owns the descriptor from now on.
  [[nodiscard]] int release() { return std::exchange(fd_, -1); }
  // Linux frees the descriptor even when close() reports EINTR or EIO, so it
  // is never retried: a retry could close a descriptor opened meanwhile.
  // The result matters only for a file just written.
  [[nodiscard]] int close() { return fd_ < 0 ? 0 : ::close(std::exchange(fd_, -1)); }
  void reset(int fd = -1) {
    (void)close();  // nothing was written through it that close could still lose
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// open(2) with O_CLOEXEC added; invalid with errno set on failure.
[[nodiscard]] UniqueFd open_fd(const std::string& path, int flags, mode_t mode = 0);

struct Pipe {
  UniqueFd read_end;
  UniqueFd write_end;
};

// Both ends close on exec; false with errno set on failure.
[[nodiscard]] bool make_pipe(Pipe& pipe);

// Writes every byte, retrying short writes and interruptions.  False with
// errno set when a write fails.  Only write(2): safe in a forked child.
[[nodiscard]] bool write_all(int fd, std::string_view bytes);

// The pieces one after the other, as few system calls as the kernel
// allows (writev).  False with errno set when a write fails.  Allocates: not
// for a forked child.
[[nodiscard]] bool write_all(int fd, std::span<const std::string_view> pieces);

// Appends everything up to end of file to `bytes`, retrying interruptions.
// False with errno set when a read fails.
[[nodiscard]] bool read_all(int fd, std::string& bytes);

}  // namespace sys
