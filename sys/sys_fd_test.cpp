#include "sys_fd.h"

#include <fcntl.h>

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace sys {
namespace {

TEST(SysFd, WholeBuffersPassThroughAPipeThatTakesThemInPieces) {
  Pipe pipe;
  ASSERT_TRUE(make_pipe(pipe));
  std::string sent(3 * 1024 * 1024, '\0');
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 7);
  std::string received = "kept:";
  std::thread reader([&] { EXPECT_TRUE(read_all(pipe.read_end.get(), received)); });
  EXPECT_TRUE(write_all(pipe.write_end.get(), sent));
  pipe.write_end.reset();
  reader.join();
  EXPECT_EQ(received, "kept:" + sent);
}

// More pieces than one writev takes, empty ones among them, and a pipe
// that takes them a part of a piece at a time.
TEST(SysFd, PiecesGoOutWholeAndInOrder) {
  Pipe pipe;
  ASSERT_TRUE(make_pipe(pipe));
  std::vector<std::string> texts;
  for (int i = 0; i < 3000; ++i) texts.push_back(i % 5 == 0 ? "" : std::to_string(i) + std::string(i % 700, 'x'));
  texts.push_back(std::string(1024 * 1024, 'y'));
  const std::vector<std::string_view> pieces(texts.begin(), texts.end());
  std::string received;
  std::thread reader([&] { EXPECT_TRUE(read_all(pipe.read_end.get(), received)); });
  EXPECT_TRUE(write_all(pipe.write_end.get(), pieces));
  pipe.write_end.reset();
  reader.join();
  std::string sent;
  for (const auto& text : texts) sent += text;
  EXPECT_EQ(received, sent);
}

TEST(SysFd, FailedWriteAndReadSayWhy) {
  const UniqueFd read_only = open_fd("/dev/null", O_RDONLY);
  EXPECT_FALSE(write_all(read_only.get(), "x"));
  EXPECT_EQ(errno, EBADF);
  const std::string_view pieces[] = {"a", "b"};
  EXPECT_FALSE(write_all(read_only.get(), pieces));
  EXPECT_EQ(errno, EBADF);
  const UniqueFd write_only = open_fd("/dev/null", O_WRONLY);
  std::string bytes;
  EXPECT_FALSE(read_all(write_only.get(), bytes));
  EXPECT_EQ(errno, EBADF);
}

}  // namespace
}  // namespace sys
