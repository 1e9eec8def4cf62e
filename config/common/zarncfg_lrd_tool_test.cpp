#include "zarncfg_lrd_tool.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

TEST(LrdTool, CommandsKeepThePasswordOneWord) {
  EXPECT_EQ(zarnlrd_config_command("a b"),
            "/opt/Varden/bin/certbind -config -f /opt/zarn/etc/zarnlrd.conf -d /var/zarn/certs -n zarnlrd "
            "-s remote -P 'a b' -S - -r 7777");
  EXPECT_EQ(zarnlrd_unconfig_command("pw"),
            "/opt/Varden/bin/certbind -unconfig -f /opt/zarn/etc/zarnlrd.conf -n zarnlrd -P pw");
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

class RunToFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/zarncfg_runtest_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

TEST_F(RunToFileTest, BothStreamsGoToAFreshPrivateFile) {
  const std::string out = dir_ + "/out";
  EXPECT_EQ(zarncfg_run_shell_to_file("echo to-out; echo to-err >&2; exit 3", out), 3);
  EXPECT_EQ(read_file(out), "to-out\nto-err\n");
  struct stat st {};
  ASSERT_EQ(stat(out.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(RunToFileTest, AnEarlierContentIsReplaced) {
  const std::string out = dir_ + "/out";
  std::ofstream(out) << "old content that is longer\n";
  EXPECT_EQ(zarncfg_run_shell_to_file("echo new", out), 0);
  EXPECT_EQ(read_file(out), "new\n");
}

TEST_F(RunToFileTest, APlantedLinkIsNotWrittenThrough) {
  const std::string victim = dir_ + "/victim";
  std::ofstream(victim) << "precious\n";
  const std::string out = dir_ + "/out";
  std::filesystem::create_symlink(victim, out);
  EXPECT_EQ(zarncfg_run_shell_to_file("echo overwritten; exit 0", out), 0);
  EXPECT_EQ(read_file(victim), "precious\n");
  EXPECT_TRUE(std::filesystem::is_symlink(out));
}

TEST_F(RunToFileTest, ADanglingLinkCreatesNothing) {
  const std::string target = dir_ + "/would-be-created";
  const std::string out = dir_ + "/out";
  std::filesystem::create_symlink(target, out);
  EXPECT_EQ(zarncfg_run_shell_to_file("echo x", out), 0);
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(RunToFileTest, APlantedFifoDoesNotHangTheRun) {
  const std::string out = dir_ + "/out";
  ASSERT_EQ(mkfifo(out.c_str(), 0600), 0);
  EXPECT_EQ(zarncfg_run_shell_to_file("echo x; exit 4", out), 4);
}

TEST_F(RunToFileTest, AFifoWithAReaderIsNeverWrittenTo) {
  const std::string out = dir_ + "/out";
  ASSERT_EQ(mkfifo(out.c_str(), 0600), 0);
  const int reader = open(out.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(zarncfg_run_shell_to_file("echo x; exit 4", out), 4);
  char byte = 0;
  EXPECT_LE(read(reader, &byte, 1), 0);
  close(reader);
}

TEST_F(RunToFileTest, AHardLinkOrAnotherUsersFileIsLeftWhole) {
  const std::string victim = dir_ + "/victim";
  std::ofstream(victim) << "precious\n";
  const std::string out = dir_ + "/out";
  std::filesystem::create_hard_link(victim, out);
  EXPECT_EQ(zarncfg_run_shell_to_file("echo overwritten", out), 0);
  EXPECT_EQ(read_file(victim), "precious\n");
  std::filesystem::remove(out);
  std::ofstream(out) << "theirs\n";
  ASSERT_EQ(chown(out.c_str(), 1234, 1234), 0);
  EXPECT_EQ(zarncfg_run_shell_to_file("echo overwritten", out), 0);
  EXPECT_EQ(read_file(out), "theirs\n");
}

TEST_F(RunToFileTest, ACommandKilledBySignalIsNoSuccess) {
  EXPECT_EQ(zarncfg_run_shell_to_file("kill -KILL $$", dir_ + "/out"), 128 + 9);
}

}  // namespace
