#include "file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "sys_fd.h"

namespace hostsim {

void throw_system_error(std::string_view what, const std::filesystem::path& path) {
  const int err = errno;
  throw std::runtime_error(std::string(what) + " " + path.string() + ": " + std::strerror(err));
}

sys::Pipe make_pipe() {
  sys::Pipe pipe;
  if (!sys::make_pipe(pipe)) throw_system_error("cannot create", "pipe");
  return pipe;
}

std::string read_text_file(const std::filesystem::path& path) {
  const sys::UniqueFd fd = sys::open_fd(path, O_RDONLY);
  if (!fd.valid()) throw_system_error("cannot open", path);
  std::string text;
  if (!sys::read_all(fd.get(), text)) throw_system_error("cannot read", path);
  return text;
}

void write_new_file(const std::filesystem::path& path, std::string_view content, mode_t mode) {
  // O_EXCL with O_CREAT never follows a link at the last component.
  const sys::UniqueFd fd = sys::open_fd(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  if (!fd.valid()) throw_system_error("cannot create", path);
  if (!sys::write_all(fd.get(), content)) throw_system_error("cannot write", path);
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
