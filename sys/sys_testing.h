// Test support for every folder: the one scratch directory helper, a look
// at files and modes, a child to run a case in, and the one write failure that root
// cannot bypass.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "sys_child.h"
#include "sys_fd.h"

namespace sys {

// A new directory under /tmp named from `prefix` (mode 0700, as mkdtemp
// makes it).  Throws std::runtime_error.
inline std::filesystem::path make_scratch_dir(std::string_view prefix = "zarn-test") {
  std::string name = "/tmp/" + std::string(prefix) + ".XXXXXX";
  if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("cannot make a directory like " + name);
  return name;
}

// A scratch directory for one test, removed with everything in it.
class ScratchDir {
 public:
  explicit ScratchDir(std::string_view prefix = "zarn-test") : path_(make_scratch_dir(prefix)) {}
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& relative) const { return path_ / relative; }
  // A name inside it, as the C interfaces take it.
  std::string file(std::string_view name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The whole content of a file; empty when it cannot be read.
inline std::string file_text(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Permission bits of `path` itself, not of what a link points to; 0 when
// there is nothing.
inline mode_t mode_of(const std::filesystem::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Runs `body` in a child process, for a case that changes what a process
// may do (its capabilities, its root), and returns the text the body
// returned; nothing when the child ended before it.
inline std::optional<std::string> call_in_child(const std::function<std::string()>& body) {
  Pipe report;
  if (!make_pipe(report)) return std::nullopt;
  std::optional<Child> child = Child::start(ChildSpec([&] {
    const std::string text = "=" + body();
    // A lost report shows as a child that did not get to the end.
    (void)write_all(report.write_end.get(), text);
    ::_exit(0);
  }));
  if (!child) return std::nullopt;
  report.write_end.reset();
  std::string text;
  const bool read = read_all(report.read_end.get(), text);
  const std::optional<ExitStatus> end = child->wait();
  if (!read || !end || end->code != 0 || !text.starts_with("=")) return std::nullopt;
  return text.substr(1);
}

// Makes every write past `limit` bytes fail with EFBIG while it lives.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t limit) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit lowered {limit, saved_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  struct rlimit saved_ {};
  sighandler_t old_handler_ = SIG_DFL;
};

}  // namespace sys
