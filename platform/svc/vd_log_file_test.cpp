#include "vd_log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "vd_test_support.h"

namespace {

class LogFileTest : public vdtest::ScratchTest {
 protected:
  std::string path() const { return (dir_ / "test.log").string(); }
  std::string read() const { return read_file(path()); }
  // Descriptors of this process open on `file`.
  std::vector<int> descriptors_on(const std::string& file) const {
    std::vector<int> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code ec;
      if (std::filesystem::read_symlink(entry.path(), ec) == file) found.push_back(std::stoi(entry.path().filename()));
    }
    return found;
  }

};

TEST_F(LogFileTest, CreatedAtTheFirstRecordAndKeptOpen) {
  {
    vd_detail::LogFile log(path());
    EXPECT_FALSE(std::filesystem::exists(path()));
    log.append("one\n", true);
    log.append("two\n", true);
    EXPECT_EQ(read(), "one\ntwo\n");
    const std::vector<int> fds = descriptors_on(path());
    ASSERT_EQ(fds.size(), 1u);
    EXPECT_NE(fcntl(fds[0], F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_NE(fcntl(fds[0], F_GETFL) & O_APPEND, 0);
    struct stat info {};
    ASSERT_EQ(stat(path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0707, 0600u);  // 0660 before the umask
  }
  EXPECT_TRUE(descriptors_on(path()).empty());
}

// Free text may leave a line open; the next header starts a new one, also
// when the open line was left by an earlier process.
TEST_F(LogFileTest, ARecordStartsALineAfterOpenFreeText) {
  std::ofstream(path()) << "earlier run, no newline";
  vd_detail::LogFile log(path());
  log.append("header\n", true);
  log.append("free ", false);
  log.append("text", false);
  log.append("header\n", true);
  log.append("more\n", false);
  EXPECT_EQ(read(), "earlier run, no newline\nheader\nfree text\nheader\nmore\n");
}

TEST_F(LogFileTest, ConcurrentWritersKeepEveryRecordWhole) {
  vd_detail::LogFile first(path());
  vd_detail::LogFile second(path());
  for (int i = 0; i < 50; ++i) {
    first.append("first record " + std::to_string(i) + "\n", true);
    second.append("second record " + std::to_string(i) + "\n", true);
  }
  std::istringstream lines(read());
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    EXPECT_TRUE(line.starts_with("first record ") || line.starts_with("second record ")) << line;
  }
  EXPECT_EQ(count, 100);
}

TEST_F(LogFileTest, ASymbolicLinkIsNotFollowedAndItsRecordsAreDropped) {
  const std::string target = (dir_ / "target").string();
  std::ofstream(target) << "";
  ASSERT_EQ(symlink(target.c_str(), path().c_str()), 0);
  vd_detail::LogFile log(path());
  log.append("record\n", true);
  EXPECT_EQ(std::filesystem::file_size(target), 0u);
}

// As when every record opened the file: a log moved aside or removed
// during the run is made again at its path.
TEST_F(LogFileTest, ALogMovedAsideOrRemovedIsMadeAgain) {
  vd_detail::LogFile log(path());
  log.append("one\n", true);
  const std::string aside = (dir_ / "test.log.bak").string();
  ASSERT_EQ(rename(path().c_str(), aside.c_str()), 0);
  log.append("two\n", true);
  EXPECT_EQ(read(), "two\n");
  std::filesystem::remove(path());
  log.append("three", false);
  log.append("four\n", true);
  EXPECT_EQ(read(), "three\nfour\n");
  EXPECT_EQ(descriptors_on(aside).size(), 0u);
  EXPECT_EQ(read_file(aside), "one\n");
}

TEST_F(LogFileTest, ALinkPutInTheLogsPlaceIsNotFollowed) {
  vd_detail::LogFile log(path());
  log.append("one\n", true);
  const std::string target = (dir_ / "target").string();
  std::ofstream(target) << "";
  std::filesystem::remove(path());
  ASSERT_EQ(symlink(target.c_str(), path().c_str()), 0);
  log.append("two\n", true);
  EXPECT_EQ(std::filesystem::file_size(target), 0u);
}

// logrotate's copytruncate empties the log in place between two records.
TEST_F(LogFileTest, ALogEmptiedInPlaceStartsWithTheNextRecord) {
  vd_detail::LogFile log(path());
  log.append("free text", false);
  ASSERT_EQ(truncate(path().c_str(), 0), 0);
  log.append("header\n", true);
  EXPECT_EQ(read(), "header\n");
}

}  // namespace
