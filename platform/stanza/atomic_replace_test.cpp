#include "atomic_replace.h"

#include <signal.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace stz {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

// Makes every write past `limit` bytes fail with EFBIG for the test's
// lifetime, the one write failure root cannot bypass.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t limit) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = ::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit lowered {limit, saved_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, old_handler_);
  }

 private:
  struct rlimit saved_ {};
  sighandler_t old_handler_;
};

TEST(StzAtomicReplace, FailedWriteLeavesTheOriginalAndNoTempFile) {
  TempDir dir;
  const std::string path = dir.file("f.conf");
  writeFile(path, "old\n");
  std::string why;
  {
    FileSizeLimit limit(16);
    EXPECT_FALSE(replaceFileAtomically(path, std::string(1000, 'x'), why));
  }
  EXPECT_EQ(why, "write: File too large");
  EXPECT_EQ(readFile(path), "old\n");
  EXPECT_EQ(dir.entryCount(), 1u);
}

}  // namespace
}  // namespace stz
