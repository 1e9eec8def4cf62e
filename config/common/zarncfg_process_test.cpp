#include "zarncfg_process.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "zarncfg_test_support.h"

namespace {

using ProcessTest = ScratchDirTest;

std::size_t files_in(const std::filesystem::path& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST_F(ProcessTest, BothStreamsAreLoggedBetweenTheMarkers) {
  ScopedFile output;
  EXPECT_EQ(zarncfg_popen("echo out-line; echo err-line >&2", "", output), 0);
  const std::string log = log_text();
  const auto opening = log.find("---------- output of command ---------- ");
  const auto out = log.find("out-line ", opening);
  const auto err = log.find("err-line ", opening);
  const auto closing = log.find("----------------------------------- \n");
  ASSERT_NE(opening, std::string::npos) << log;
  ASSERT_NE(closing, std::string::npos) << log;
  EXPECT_LT(opening, out);
  EXPECT_LT(opening, err);
  EXPECT_LT(out, closing);
  EXPECT_LT(err, closing);
  EXPECT_NE(log.find("Running command echo out-line; echo err-line >&2. "), std::string::npos);
  EXPECT_NE(log.find("completed with result 0.\n"), std::string::npos);
}

TEST_F(ProcessTest, ResultIsTheExitCodeAndASignalIsNeverSuccess) {
  const struct {
    const char* command;
    int result;
  } cases[] = {{"exit 3", 3}, {"true", 0}, {"kill -9 $$", 128 + 9}, {"kill -TERM $$", 128 + 15}};
  for (const auto& c : cases) {
    ScopedFile output;
    EXPECT_EQ(zarncfg_popen(c.command, "", output), c.result) << c.command;
  }
}

TEST_F(ProcessTest, DisplayTextHidesTheCommand) {
  ScopedFile output;
  EXPECT_EQ(zarncfg_popen("true -pwd s3cret-Pw", "true -pwd ********", output), 0);
  const std::string log = log_text();
  EXPECT_EQ(log.find("s3cret-Pw"), std::string::npos) << log;
  EXPECT_NE(log.find("Running command true -pwd ********. "), std::string::npos) << log;
  EXPECT_NE(log.find("The command true -pwd ******** completed with result 0."), std::string::npos) << log;
}

TEST_F(ProcessTest, PipelinesAndCommentsStayInTheOutputFile) {
  ScopedFile output;
  testing::internal::CaptureStdout();
  EXPECT_EQ(zarncfg_popen("echo first >&2 | cat # trailing comment", "", output), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_NE(log_text().find("output of command ---------- first "), std::string::npos) << log_text();
}

TEST_F(ProcessTest, BlankDisplayShowsTheCommand) {
  ScopedFile output;
  zarncfg_popen("true blank-display", "   ", output);
  EXPECT_NE(log_text().find("Running command true blank-display. "), std::string::npos);
}

TEST_F(ProcessTest, PercentSignsAreShownAsTheyAre) {
  ScopedFile output;
  EXPECT_EQ(zarncfg_popen("echo 100%d%s%%", "", output), 0);
  const std::string log = log_text();
  EXPECT_NE(log.find("Running command echo 100%d%s%%. "), std::string::npos) << log;
  EXPECT_NE(log.find("100%d%s%% "), std::string::npos) << log;
}

TEST_F(ProcessTest, GlobbingIsOff) {
  std::ofstream(work_dir() / "only-file");
  ScopedFile output;
  zarncfg_popen("echo only-*", "", output);
  EXPECT_NE(log_text().find("output of command ---------- only-* "), std::string::npos) << log_text();
}

TEST_F(ProcessTest, OutputFileIsPrivateAndInTheWorkingDirectory) {
  std::string name;
  ASSERT_EQ(zarncfg_popen("echo hello", "", name), 0);
  ASSERT_EQ(name.size(), 6u);
  EXPECT_EQ(name.find('/'), std::string::npos);
  struct stat info {};
  ASSERT_EQ(stat((work_dir() / name).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  std::filesystem::remove(work_dir() / name);
}

TEST_F(ProcessTest, ScopedOutputFileIsRemoved) {
  {
    ScopedFile output;
    zarncfg_popen("echo one", "", output);
    zarncfg_popen("echo two", "", output);  // reuse removes the first file
    EXPECT_EQ(files_in(work_dir()), 1u);
  }
  EXPECT_EQ(files_in(work_dir()), 0u);
}

TEST_F(ProcessTest, LongLinesAreLoggedInPieces) {
  const std::string line(2500, 'a');
  const auto path = make_file("long.txt", line + "\nshort\n");
  EXPECT_EQ(zarncfg_cat_log(path.string()), 1);
  const std::string log = log_text();
  const std::string piece(999, 'a');
  EXPECT_NE(log.find(piece + " " + piece + " " + std::string(502, 'a') + " short "), std::string::npos);
  EXPECT_EQ(log.find(std::string(1000, 'a')), std::string::npos);
}

TEST_F(ProcessTest, CatLogOfAMissingFileReportsIt) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(zarncfg_cat_log("no-such-file"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ZRNCF1340E   File no-such-file could not be opened.\n");
  EXPECT_EQ(log_text().find("output of command"), std::string::npos);
}

TEST_F(ProcessTest, OpenedFilesDoNotLeakIntoChildren) {
  vd_msgid_t status = 0;
  const FileHandle file = zarncfg_open_file(make_file("f").string(), "r", status);
  ASSERT_TRUE(file);
  EXPECT_EQ(status, 0u);
  EXPECT_NE(fcntl(fileno(file.get()), F_GETFD) & FD_CLOEXEC, 0);
}

TEST_F(ProcessTest, OpenFailureSetsTheStatus) {
  vd_msgid_t status = 0;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(zarncfg_open_file((root_ / "missing" / "f").string(), "w", status));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(status, msg_id(1340));
}

TEST_F(ProcessTest, AccountLookups) {
  vd_msgid_t status = 0;
  EXPECT_EQ(zarncfg_get_pw_uid("root", status), 0u);
  EXPECT_EQ(zarncfg_get_group_gid("root", status), 0u);
  EXPECT_EQ(status, 0u);
  testing::internal::CaptureStdout();
  zarncfg_get_pw_uid("no-such-user-zq", status);
  EXPECT_EQ(status, msg_id(1344));
  zarncfg_get_group_gid("no-such-group-zq", status);
  EXPECT_EQ(status, msg_id(1345));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ZRNCF1344E   User no-such-user-zq could not be located in the passwd file. \n"
            "ZRNCF1345E   Group no-such-group-zq could not be located in the group file. \n");
}

TEST_F(ProcessTest, OwnerAndModeChangesNeverFollowALink) {
  const auto target = make_file("root-only", "secret\n");
  ASSERT_EQ(chmod(target.c_str(), 0600), 0);
  const auto link = root_ / "msg.log";
  std::filesystem::create_symlink(target, link);
  const auto plain = make_file("plain.conf");
  zarncfg_set_owner_and_mode(link.string(), 1234, 1234, 0660);
  zarncfg_set_owner_and_mode(plain.string(), 1234, 1234, 0660);
  struct stat info {};
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 0u);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  ASSERT_EQ(stat(plain.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 1234u);
  EXPECT_EQ(info.st_gid, 1234u);
  EXPECT_EQ(info.st_mode & 07777, 0660u);
  EXPECT_NE(log_text().find("ZRNCF1404W   The file " + link.string() + " is a symbolic link."), std::string::npos)
      << log_text();
}

}  // namespace
