// Scratch directories and whole-file helpers for the stanza tests.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "sys_testing.h"

#include <gtest/gtest.h>

#include "stanza_file.h"

namespace stz::testing {

// The shared scratch directory, and how many entries it holds.
class TempDir : public sys::ScratchDir {
 public:
  TempDir() : ScratchDir("stz-test") {}
  std::size_t entryCount() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(path()), {}));
  }
};

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline struct stat statOf(const std::string& path) {
  struct stat info {};
  ::lstat(path.c_str(), &info);
  return info;
}

// A test with a file of its own to open through the library.
class StanzaFileTest : public ::testing::Test {
 protected:
  std::unique_ptr<StanzaFile> open(int mode = STZ_MODE_UPDATE) {
    vd_status_t status = 0;
    auto file = stzFileOpen(path, mode, status);
    EXPECT_TRUE(file) << stzErrorText(status);
    EXPECT_EQ(status, 0u);
    return file;
  }
  TempDir dir;
  std::string path = dir.file("zarnd.conf");
};

}  // namespace stz::testing
