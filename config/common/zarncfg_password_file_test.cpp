#include "zarncfg_password_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sys_testing.h"

namespace {

class PasswordFileTest : public ::testing::Test {
 protected:
  const sys::ScratchDir scratch_{"zarncfg-pw-test"};
  const std::string dir_ = scratch_.path().string();
};

TEST_F(PasswordFileTest, HoldsOneLinePerPasswordWithMode0600AndIsRemoved) {
  std::string path;
  {
    vd_msgid_t status = 0;
    PasswordFile file(status, dir_ + "/XXXXXX");
    ASSERT_EQ(status, 0u);
    ASSERT_TRUE(file.is_open());
    path = file.path();
    EXPECT_EQ(std::filesystem::path(path).parent_path(), dir_);
    EXPECT_TRUE(file.add_line("first"));
    EXPECT_TRUE(file.add_line("second one"));
    file.close();
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), "first\nsecond one\n");
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(PasswordFileTest, FailureSetsTheStatusAndLeavesNothing) {
  vd_msgid_t status = 0;
  PasswordFile file(status, dir_ + "/missing/XXXXXX");
  EXPECT_EQ(status, msg_id(1340));
  EXPECT_FALSE(file.is_open());
  EXPECT_TRUE(file.path().empty());
  EXPECT_FALSE(file.add_line("x"));
}

TEST_F(PasswordFileTest, SweepRemovesOnlyLeftoverPasswordFiles) {
  const auto touch = [&](const std::string& name) { std::ofstream(dir_ + "/" + name) << "x\n"; };
  touch(".zarncfg-pw.a1B2c3");
  touch(".zarncfg-pw.short");
  touch("zarnd.conf");
  std::filesystem::create_directory(dir_ + "/.zarncfg-pw.dir123");
  std::filesystem::create_symlink("zarnd.conf", dir_ + "/.zarncfg-pw.link12");
  zarncfg_remove_stale_password_files(dir_);
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/.zarncfg-pw.a1B2c3"));
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/.zarncfg-pw.short"));
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/zarnd.conf"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_ + "/.zarncfg-pw.dir123"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir_ + "/.zarncfg-pw.link12"));
}

}  // namespace
