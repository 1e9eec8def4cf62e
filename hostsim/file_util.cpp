#include "file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "hostsim/unique_fd.h"

namespace hostsim {

void throw_system_error(std::string_view what, const std::filesystem::path& path) {
  const int err = errno;
  throw std::runtime_error(std::string(what) + " " + path.string() + ": " + std::strerror(err));
}

Pipe make_pipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw_system_error("cannot create", "pipe");
  return Pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

std::string read_text_file(const std::filesystem::path& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) throw_system_error("cannot open", path);
  std::string text;
  char chunk[8192];
  for (;;) {
    const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw_system_error("cannot read", path);
    if (n == 0) return text;
    text.append(chunk, static_cast<size_t>(n));
  }
}

void write_new_file(const std::filesystem::path& path, std::string_view content, mode_t mode) {
  // O_EXCL with O_CREAT never follows a link at the last component.
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.valid()) throw_system_error("cannot create", path);
  while (!content.empty()) {
    const ssize_t n = ::write(fd.get(), content.data(), content.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw_system_error("cannot write", path);
    content.remove_prefix(static_cast<size_t>(n));
  }
  if (::fchmod(fd.get(), mode) != 0) throw_system_error("cannot set the mode of", path);
}

void make_directory(const std::filesystem::path& path, mode_t mode) {
  if (::mkdir(path.c_str(), 0700) != 0) throw_system_error("cannot create directory", path);
  if (::chmod(path.c_str(), mode) != 0) throw_system_error("cannot set the mode of", path);
}

void remove_non_directory(const std::filesystem::path& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return;
    throw_system_error("cannot inspect", path);
  }
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    throw_system_error("refusing to replace directory", path);
  }
  if (::unlink(path.c_str()) != 0) throw_system_error("cannot remove", path);
}

}  // namespace hostsim
