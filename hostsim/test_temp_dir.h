// Helpers of the unit tests: a fresh directory under /tmp for one test,
// removed with its contents, and a look at modes.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace hostsim {

class TestTempDir {
 public:
  TestTempDir() {
    std::string name = "/tmp/hostsim-test.XXXXXX";
    if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = name;
  }
  ~TestTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TestTempDir(const TestTempDir&) = delete;
  TestTempDir& operator=(const TestTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& rel) const { return path_ / rel; }

 private:
  std::filesystem::path path_;
};

// Permission bits of `path` itself, not of what a link points to.
inline mode_t mode_of(const std::filesystem::path& path) {
  struct stat st;
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

}  // namespace hostsim
