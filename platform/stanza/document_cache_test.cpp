#include "document_cache.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "stanza_error.h"
#include "stanza_file.h"
#include "test_support.h"

namespace stz {
namespace {

using testing::readFile;
using testing::writeFile;

// Each test uses paths of its own, so the process-wide counts start at 0.
class StzDocumentCache : public testing::StanzaFileTest {
 protected:
  std::optional<std::string> valueOf(const char* stanza, const char* entry) {
    auto file = open(STZ_MODE_READ);
    if (!file || stzMoveEntry(*file, stanza, entry) == 0) return std::nullopt;
    return file->value.value_or("");
  }
  void set(const char* stanza, const char* entry, const char* value) {
    auto file = open();
    stzAddStanza(*file, stanza);
    stzAddEntry(*file, entry, value);
    ASSERT_EQ(file->error, 0);
    ASSERT_EQ(stzFileClose(std::move(file)), 0);
  }
  unsigned parses() const { return stzFileStats(path).parses; }
};

// A run reads the file, writes it, and writes it again: one parse, and
// what it wrote is what the next open sees.
TEST_F(StzDocumentCache, AFileIsParsedOnceHoweverOftenItIsOpenedAndWritten) {
  writeFile(path, "[ssl]\nport = 7134\n");
  EXPECT_EQ(valueOf("ssl", "port"), "7134");
  set("zarnd", "logs", "4");
  set("zarncfg", "state", "on");
  EXPECT_EQ(valueOf("zarnd", "logs"), "4");
  EXPECT_EQ(readFile(path), "[ssl]\nport = 7134\n\n[zarnd]\nlogs = 4\n\n[zarncfg]\nstate = on\n");
  EXPECT_EQ(parses(), 1u);
  EXPECT_GE(stzFileStats(path).reads, 1u);
  EXPECT_EQ(stzFileStats(dir.file("never-opened")).reads, 0u);
}

// A tool given the file changed it in place, to the same size, at once:
// its identity may be unchanged, so the bytes decide.
class StzFileChangedInPlace : public StzDocumentCache {
 protected:
  void changeInPlace(const std::string& from, const std::string& to) {
    std::string text = readFile(path);
    text.replace(text.find(from), from.size(), to);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
    ::close(fd);
  }
};

TEST_F(StzFileChangedInPlace, AfterItWasReadIsParsedAgainAndItsChangeKept) {
  writeFile(path, "[ssl]\nport = 7134\n");
  EXPECT_EQ(valueOf("ssl", "port"), "7134");
  changeInPlace("7134", "7135");
  set("zarnd", "logs", "4");
  EXPECT_EQ(readFile(path), "[ssl]\nport = 7135\n\n[zarnd]\nlogs = 4\n");
  EXPECT_EQ(parses(), 2u);
}

TEST_F(StzFileChangedInPlace, AfterItWasWrittenIsParsedAgainAndItsChangeKept) {
  writeFile(path, "[ssl]\nport = 7134\n");
  set("zarnd", "logs", "4");
  changeInPlace("7134", "7135");
  set("zarncfg", "state", "on");
  EXPECT_EQ(readFile(path), "[ssl]\nport = 7135\n\n[zarnd]\nlogs = 4\n\n[zarncfg]\nstate = on\n");
  EXPECT_EQ(parses(), 2u);
}

TEST_F(StzDocumentCache, AFileReplacedByAnotherIsParsedAgain) {
  writeFile(path, "[a]\nx = 1\n");
  EXPECT_EQ(valueOf("a", "x"), "1");
  const std::string other = dir.file("other");
  writeFile(other, "[a]\nx = 2\n");
  ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
  EXPECT_EQ(valueOf("a", "x"), "2");
  EXPECT_EQ(parses(), 2u);
  // The same bytes under a new identity are compared, not parsed.
  writeFile(other, "[a]\nx = 2\n");
  ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
  EXPECT_EQ(valueOf("a", "x"), "2");
  EXPECT_EQ(parses(), 2u);
}

TEST_F(StzDocumentCache, AMalformedFileIsRefusedEveryTimeAndReadAgainOnceMended) {
  writeFile(path, "[a\n");
  for (int i = 0; i < 2; ++i) {
    vd_status_t status = 0;
    EXPECT_FALSE(stzFileOpen(path, STZ_MODE_READ, status));
    EXPECT_EQ(status, STZ_E_SYNTAX);
    EXPECT_EQ(stzErrorText(status), path + ":1: stanza header without ']'");
  }
  writeFile(path, "[a]\n");
  EXPECT_EQ(valueOf("a", "x"), std::nullopt);
}

TEST_F(StzDocumentCache, AFailedWriteLeavesTheFileToBeReadAgain) {
  writeFile(path, "[a]\nx = 1\n");
  auto file = open();
  stzAddStanza(*file, "a");
  stzAddEntry(*file, "x", "2");
  ASSERT_EQ(::unlink(path.c_str()), 0);
  EXPECT_NE(stzFileClose(std::move(file)), 0);
  writeFile(path, "[a]\nx = 3\n");
  EXPECT_EQ(valueOf("a", "x"), "3");
}

// A change time well before the file was looked at proves that the next
// change will show in it: the identity alone then says "unchanged".
TEST_F(StzDocumentCache, ALongUnchangedFileIsTrustedByItsIdentity) {
  writeFile(path, "[a]\nx = 1\n");
  std::string why;
  auto opened = openRegularFile(path, why);
  ASSERT_TRUE(opened) << why;
  opened->info.st_ctim.tv_sec = opened->looked_at.tv_sec - 10;
  DocumentCache cache;
  ASSERT_TRUE(cache.documentOf(path, *opened, why));
  ASSERT_TRUE(cache.documentOf(path, *opened, why));
  EXPECT_EQ(cache.statsOf(path).reads, 1u);
  EXPECT_EQ(cache.statsOf(path).parses, 1u);
}

TEST(StzFileIdentity, AChangeTimeWithinTheCoarsestTickProvesNothing) {
  const struct timespec changed {1000, 500};
  EXPECT_FALSE(changeTimeIsConclusive(changed, {1000, 600}));
  EXPECT_FALSE(changeTimeIsConclusive(changed, {1002, 500}));
  EXPECT_TRUE(changeTimeIsConclusive(changed, {1002, 501}));
  struct stat info {};
  info.st_ino = 7;
  info.st_size = 10;
  const FileIdentity identity = identityOf(info);
  EXPECT_TRUE(sameIdentity(identity, identityOf(info)));
  for (auto change : {+[](struct stat& s) { s.st_ino = 8; }, +[](struct stat& s) { s.st_size = 11; },
                      +[](struct stat& s) { s.st_mtim.tv_nsec = 1; }, +[](struct stat& s) { s.st_ctim.tv_sec = 1; },
                      +[](struct stat& s) { s.st_dev = 3; }}) {
    struct stat other = info;
    change(other);
    EXPECT_FALSE(sameIdentity(identity, identityOf(other)));
  }
}

}  // namespace
}  // namespace stz
