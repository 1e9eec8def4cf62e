#include "stanza_file.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "stanza_error.h"
#include "test_support.h"

namespace stz {
namespace {

using testing::readFile;
using testing::statOf;
using testing::writeFile;

const std::string kSample =
    "# zarnd settings\n"
    "\n"
    "[zarnd]\n"
    "  log-level\t=  3   \n"
    "flag\n"
    "\n"
    "# ssl next\n"
    "[ssl]\n"
    "ssl-listening-port = 7134\n"
    "unknown = \"  kept \\\\ as is  \"";  // no final newline

using StzFile = testing::StanzaFileTest;

TEST_F(StzFile, UntouchedFileIsNotRewritten) {
  writeFile(path, kSample);
  const ino_t inode = statOf(path).st_ino;
  for (int mode : {STZ_MODE_READ, STZ_MODE_UPDATE}) EXPECT_EQ(stzFileClose(open(mode)), 0);
  auto file = open();
  stzAddStanza(*file, "ssl");
  stzAddEntry(*file, "ssl-listening-port", "7134");  // same value: nothing to write
  EXPECT_EQ(file->error, 0);
  EXPECT_EQ(stzFileClose(std::move(file)), 0);
  EXPECT_EQ(statOf(path).st_ino, inode);
  EXPECT_EQ(readFile(path), kSample);
}

TEST_F(StzFile, EditKeepsEverythingElseByteForByte) {
  writeFile(path, kSample);
  auto file = open();
  stzAddStanza(*file, "zarnd");
  stzAddEntry(*file, "log-level", "5");
  stzAddEntry(*file, "new-entry", " padded");
  stzAddStanza(*file, "added");
  stzAddEntry(*file, "x", std::nullopt);
  EXPECT_NE(stzDeleteEntry(*file, "ssl", "ssl-listening-port"), 0);
  ASSERT_EQ(file->error, 0);
  ASSERT_EQ(stzFileClose(std::move(file)), 0);
  std::string expected = kSample;
  expected.replace(expected.find("3   \n"), 5, "5\n");
  expected.replace(expected.find("flag\n"), 5, "flag\nnew-entry = \" padded\"\n");
  expected.erase(expected.find("ssl-listening-port = 7134\n"), 26);
  EXPECT_EQ(readFile(path), expected + "\n\n[added]\nx\n");
}

TEST_F(StzFile, MoveEntryReportsNameAndValue) {
  writeFile(path, kSample);
  auto file = open(STZ_MODE_READ);
  EXPECT_NE(stzMoveEntry(*file, "ssl", "unknown"), 0);
  EXPECT_EQ(file->name, "unknown");
  EXPECT_EQ(file->value, "  kept \\ as is  ");
  EXPECT_NE(stzMoveEntry(*file, "zarnd", "flag"), 0);
  EXPECT_EQ(file->value, std::nullopt);
  EXPECT_EQ(stzMoveEntry(*file, "zarnd", "ssl-listening-port"), 0);
  EXPECT_EQ(file->name, std::nullopt);
  EXPECT_EQ(stzMoveEntry(*file, "nope", "flag"), 0);
}

TEST_F(StzFile, MalformedFileNamesItsLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"[a]\nx = 1\ny = \"open\n", ":3: unterminated quote"},
      {"# c\nx = 1\n", ":2: entry before the first stanza header"},
      {"[a]\n\n[b\n", ":3: stanza header without ']'"},
      {"[ ]\n", ":1: empty stanza name"},
      {"[a]\nx = \"v\" junk\n", ":2: text after the closing quote"},
      {"[a]\n\n\n = v", ":4: empty entry name"},
      {"[a] x\n", ":1: text after the stanza header"},
  };
  for (const auto& [content, detail] : cases) {
    writeFile(path, content);
    for (int mode : {STZ_MODE_READ, STZ_MODE_UPDATE}) {
      vd_status_t status = 0;
      EXPECT_FALSE(stzFileOpen(path, mode, status));
      EXPECT_EQ(status, STZ_E_SYNTAX);
      EXPECT_EQ(stzErrorText(status), path + detail);
    }
  }
}

TEST_F(StzFile, MissingOrOddFileFailsToOpen) {
  for (int mode : {STZ_MODE_READ, STZ_MODE_UPDATE}) {
    vd_status_t status = 0;
    EXPECT_FALSE(stzFileOpen(path, mode, status));
    EXPECT_EQ(status, STZ_E_OPEN);
    EXPECT_EQ(stzErrorText(status), path + ": cannot open: No such file or directory");
    status = 0;
    EXPECT_FALSE(stzFileOpen(dir.file(""), mode, status));
    EXPECT_EQ(status, STZ_E_OPEN);
  }
  writeFile(path, "");
  vd_status_t status = 0;
  EXPECT_FALSE(stzFileOpen(path, 3, status));
  EXPECT_EQ(status, STZ_E_ARGUMENT);
}

TEST_F(StzFile, ReplacementKeepsOwnerAndMode) {
  writeFile(path, "[a]\n");
  ASSERT_EQ(::chown(path.c_str(), 1234, 4321), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const ino_t inode = statOf(path).st_ino;
  auto file = open();
  stzAddStanza(*file, "a");
  stzAddEntry(*file, "x", "1");
  ASSERT_EQ(stzFileClose(std::move(file)), 0);
  const struct stat after = statOf(path);
  EXPECT_NE(after.st_ino, inode);
  EXPECT_EQ(after.st_uid, 1234u);
  EXPECT_EQ(after.st_gid, 4321u);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(readFile(path), "[a]\nx = 1\n");
  EXPECT_EQ(dir.entryCount(), 1u);
}

TEST_F(StzFile, FailedEditsChangeNothing) {
  writeFile(path, kSample);
  const std::pair<std::function<void(StanzaFile&)>, vd_status_t> cases[] = {
      {[](StanzaFile& f) { stzAddEntry(f, "x", "1"); }, STZ_E_NO_STANZA},
      {[](StanzaFile& f) { stzAddStanza(f, "a]b"); }, STZ_E_ARGUMENT},
      {[](StanzaFile& f) { stzAddStanza(f, "ssl"), stzAddStanza(f, ""), stzAddEntry(f, "x", "1"); },
       STZ_E_NO_STANZA},
      {[](StanzaFile& f) { stzAddStanza(f, "ssl"), stzAddEntry(f, "a=b", "1"); }, STZ_E_ARGUMENT},
      {[](StanzaFile& f) { stzAddStanza(f, "ssl"), stzAddEntry(f, "#x", "1"); }, STZ_E_ARGUMENT},
      {[](StanzaFile& f) { stzAddStanza(f, "ssl"), stzAddEntry(f, "x", "a\nb"); }, STZ_E_ARGUMENT},
      {[](StanzaFile& f) { stzDeleteEntry(f, "ssl", "absent"); }, STZ_E_NOT_FOUND},
      {[](StanzaFile& f) { stzDeleteEntry(f, "absent", "flag"); }, STZ_E_NOT_FOUND},
  };
  for (const auto& [edit, code] : cases) {
    auto file = open();
    edit(*file);
    EXPECT_EQ(static_cast<vd_status_t>(file->error), code);
    EXPECT_EQ(stzFileClose(std::move(file)), 0);
    EXPECT_EQ(readFile(path), kSample);
  }
  auto reader = open(STZ_MODE_READ);
  stzAddStanza(*reader, "ssl");
  EXPECT_EQ(static_cast<vd_status_t>(reader->error), STZ_E_READ_ONLY);
}

TEST_F(StzFile, DroppedHandleDiscardsItsEdits) {
  writeFile(path, kSample);
  auto file = open();
  stzAddStanza(*file, "ssl");
  stzAddEntry(*file, "ssl-listening-port", "7135");
  stzDeleteEntry(*file, "zarnd", "flag");
  stzAddEntry(*file, "bad\nname", "x");
  EXPECT_NE(file->error, 0);
  file.reset();
  EXPECT_EQ(readFile(path), kSample);
}

TEST_F(StzFile, WriteThroughASymlinkReplacesItsTarget) {
  writeFile(path, "[a]\n");
  const std::string link = dir.file("link.conf");
  ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
  vd_status_t status = 0;
  auto file = stzFileOpen(link, STZ_MODE_UPDATE, status);
  ASSERT_TRUE(file);
  stzAddStanza(*file, "b");
  ASSERT_EQ(stzFileClose(std::move(file)), 0);
  EXPECT_TRUE(S_ISLNK(statOf(link).st_mode));
  EXPECT_EQ(readFile(path), "[a]\n\n[b]\n");
}

TEST_F(StzFile, VanishedFileFailsTheClose) {
  writeFile(path, "[a]\n");
  auto file = open();
  stzAddStanza(*file, "b");
  ASSERT_EQ(::unlink(path.c_str()), 0);
  EXPECT_EQ(static_cast<vd_status_t>(stzFileClose(std::move(file))), STZ_E_WRITE);
  EXPECT_EQ(dir.entryCount(), 0u);
  EXPECT_EQ(stzErrorText(STZ_E_WRITE), path + ": cannot write back: realpath: No such file or directory");
}

// A preview edits the text and never the file, even where the file exists.
TEST_F(StzFile, TextHandleEditsInMemoryOnly) {
  writeFile(path, kSample);
  vd_status_t status = 0;
  auto file = stzTextOpen(path, "[zarnd]\nlog-level = 3\n", STZ_MODE_UPDATE, status);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(stzAddStanza(*file, "ssl"), 1);
  ASSERT_EQ(stzAddEntry(*file, "port", std::string_view("7134")), 1);
  EXPECT_EQ(stzFileText(*file), "[zarnd]\nlog-level = 3\n\n[ssl]\nport = 7134\n");
  EXPECT_EQ(stzFileClose(std::move(file)), 0);
  EXPECT_EQ(readFile(path), kSample);
  EXPECT_EQ(stzTextOpen(path, "[broken\n", STZ_MODE_READ, status), nullptr);
  EXPECT_NE(status, 0);
}

}  // namespace
}  // namespace stz
