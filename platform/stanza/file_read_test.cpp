#include "file_read.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace stz {
namespace {

using testing::TempDir;
using testing::writeFile;

class StzFileRead : public ::testing::Test {
 protected:
  OpenedFile open() {
    std::string why;
    auto opened = openRegularFile(path, why);
    EXPECT_TRUE(opened) << why;
    return opened ? std::move(*opened) : OpenedFile{};
  }
  TempDir dir;
  std::string path = dir.file("f.conf");
};

TEST_F(StzFileRead, AFileThatGrewSinceItWasLookedAtIsReadToItsNewEnd) {
  writeFile(path, "[a]\n");
  const OpenedFile file = open();
  std::ofstream(path, std::ios::app) << std::string(10000, 'x');
  TextBuffer bytes;
  std::string why;
  ASSERT_TRUE(readOpenedFile(file, bytes, why)) << why;
  EXPECT_EQ(bytes.view(), "[a]\n" + std::string(10000, 'x'));
}

// Pieces that cross the chunks the file is read in, and files that differ
// in their last byte, lack it or have one more.
TEST_F(StzFileRead, HoldsComparesTheWholeFileWithThePieces) {
  std::string text(200 * 1024, 'a');
  for (std::size_t i = 0; i < text.size(); i += 97) text[i] = static_cast<char>('b' + i % 20);
  const std::string_view view = text;
  const std::vector<std::string_view> pieces = {view.substr(0, 5), view.substr(5, 0), view.substr(5, 70000),
                                                view.substr(70005)};
  const struct {
    std::string on_disk;
    bool held;
  } cases[] = {{text, true}, {text.substr(0, text.size() - 1), false}, {text + "z", false},
               {text.substr(0, text.size() - 1) + "#", false}, {"", false}};
  for (const auto& c : cases) {
    writeFile(path, c.on_disk);
    EXPECT_EQ(fileHolds(open(), pieces), c.held) << c.on_disk.size();
  }
  writeFile(path, "");
  EXPECT_TRUE(fileHolds(open(), {}));
}

TEST_F(StzFileRead, OnlyRegularFilesOpen) {
  std::string why;
  EXPECT_FALSE(openRegularFile(dir.file(""), why));
  EXPECT_EQ(why, "not a regular file");
  EXPECT_FALSE(openRegularFile(dir.file("absent"), why));
  EXPECT_EQ(why, "No such file or directory");
}

}  // namespace
}  // namespace stz
