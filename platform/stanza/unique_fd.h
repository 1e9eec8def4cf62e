// Owns one file descriptor; closes it on every path out.
#pragma once

#include <unistd.h>

#include <utility>

namespace stz {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // On Linux the descriptor is gone after close() even when it reports
  // EINTR or EIO, so it is never retried; the result matters only for a
  // file just written.
  int close() { return fd_ < 0 ? 0 : ::close(std::exchange(fd_, -1)); }
  void reset() { (void)close(); }

 private:
  int fd_ = -1;
};

}  // namespace stz
