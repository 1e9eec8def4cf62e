#include "sys_file.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "sys_testing.h"

namespace sys {
namespace {

namespace fs = std::filesystem;

class SysFile : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  void write(const std::string& name, const std::string& bytes, uid_t uid, gid_t gid, mode_t mode) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
    ASSERT_EQ(::chown(path(name).c_str(), uid, gid), 0);
    ASSERT_EQ(::chmod(path(name).c_str(), mode), 0);
  }
  std::string read(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }
  void expect_owner_and_mode(const std::string& name, uid_t uid, gid_t gid, mode_t mode) const {
    struct stat info {};
    ASSERT_EQ(::lstat(path(name).c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, uid);
    EXPECT_EQ(info.st_gid, gid);
    EXPECT_EQ(info.st_mode & 07777, mode);
  }

  TempDir scratch_{"sys-file-test"};
  const fs::path& dir_ = scratch_.path();
  std::string why_;
};

TEST_F(SysFile, ReplaceKeepsOwnerGroupAndMode) {
  write("f.conf", "old\n", 1234, 5678, 02640);
  ASSERT_TRUE(replace_file(path("f.conf"), "new\n", why_)) << why_;
  EXPECT_EQ(read("f.conf"), "new\n");
  expect_owner_and_mode("f.conf", 1234, 5678, 02640);
  EXPECT_EQ(entries(), 1u);
}

TEST_F(SysFile, ReplaceThroughALinkWritesTheFileItNames) {
  write("real.conf", "old\n", 0, 0, 0600);
  fs::create_symlink("real.conf", path("link.conf"));
  ASSERT_TRUE(replace_file(path("link.conf"), "new\n", why_)) << why_;
  EXPECT_TRUE(fs::is_symlink(path("link.conf")));
  EXPECT_EQ(read("real.conf"), "new\n");
}

TEST_F(SysFile, FailedWriteLeavesTheOriginalAndNoTemporaryFile) {
  write("f.conf", "old\n", 0, 0, 0644);
  {
    FileSizeLimit limit(16);
    EXPECT_FALSE(replace_file(path("f.conf"), std::string(1000, 'x'), why_));
  }
  EXPECT_EQ(why_, "write: File too large");
  EXPECT_EQ(read("f.conf"), "old\n");
  EXPECT_EQ(entries(), 1u);
}

TEST_F(SysFile, ReplaceRefusesWhatIsNotARegularFile) {
  EXPECT_FALSE(replace_file(dir_.string(), "x", why_));
  EXPECT_EQ(why_, "not a regular file");
  EXPECT_FALSE(replace_file(path("missing"), "x", why_));
  EXPECT_EQ(why_, "realpath: No such file or directory");
}

TEST_F(SysFile, CopyTakesTheSourcesOwnerAndModeAndReplacesTheTarget) {
  write("source", "content\n", 1234, 5678, 0640);
  write("target", "old\n", 0, 0, 0600);
  ASSERT_TRUE(copy_file(path("source"), path("target"), why_)) << why_;
  EXPECT_EQ(read("target"), "content\n");
  expect_owner_and_mode("target", 1234, 5678, 0640);
  EXPECT_EQ(entries(), 2u);
}

TEST_F(SysFile, CopyRefusesALinkAtTheSourceAndLeavesNothingBehind) {
  write("real", "content\n", 0, 0, 0600);
  fs::create_symlink("real", path("link"));
  EXPECT_FALSE(copy_file(path("link"), path("target"), why_));
  EXPECT_EQ(why_, "open: Too many levels of symbolic links");
  EXPECT_FALSE(copy_file(path("real"), path("no-such-folder/target"), why_));
  EXPECT_EQ(why_, "mkostemp: No such file or directory");
  EXPECT_EQ(entries(), 2u);
}

TEST_F(SysFile, CopyByContentFollowsALinkAtTheSource) {
  write("real", "content\n", 1234, 5678, 0640);
  fs::create_symlink("real", path("link"));
  ASSERT_TRUE(copy_file(path("link"), path("link.bak"), why_, SourceLink::follow)) << why_;
  EXPECT_FALSE(fs::is_symlink(path("link.bak")));
  EXPECT_EQ(read("link.bak"), "content\n");
  expect_owner_and_mode("link.bak", 1234, 5678, 0640);
}

TEST_F(SysFile, WriteCreatesOrReplacesWithoutFollowingALink) {
  ASSERT_TRUE(write_file(path("record"), "one\n", 0600, why_)) << why_;
  EXPECT_EQ(read("record"), "one\n");
  expect_owner_and_mode("record", ::geteuid(), ::getegid(), 0600);
  write("elsewhere", "keep\n", 0, 0, 0644);
  fs::create_symlink("elsewhere", path("linked"));
  ASSERT_TRUE(write_file(path("linked"), "two\n", 0600, why_)) << why_;
  EXPECT_FALSE(fs::is_symlink(path("linked")));
  EXPECT_EQ(read("elsewhere"), "keep\n");
  ASSERT_TRUE(remove_file(path("record"), why_)) << why_;
  ASSERT_TRUE(remove_file(path("record"), why_)) << why_;
  EXPECT_EQ(entries(), 2u);
}

}  // namespace
}  // namespace sys
