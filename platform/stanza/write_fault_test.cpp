#include "write_fault.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace stz {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

TEST(StzWriteFault, NoRequestNoFault) {
  const TempDir dir;
  EXPECT_FALSE(writeFaultRequested("/opt/zarn/etc/zarnd.conf", dir.file("")));
}

TEST(StzWriteFault, RequestWithoutCountFailsEveryWriteOfThatFileOnly) {
  const TempDir dir;
  writeFile(dir.file("fail.stz.zarnd.conf"), "");
  EXPECT_TRUE(writeFaultRequested("/opt/zarn/etc/zarnd.conf", dir.file("")));
  EXPECT_TRUE(writeFaultRequested("/opt/zarn/etc/zarnd.conf", dir.file("")));
  EXPECT_FALSE(writeFaultRequested("/opt/zarn/etc/brevik.conf", dir.file("")));
}

TEST(StzWriteFault, CountLetsEarlierWritesThrough) {
  const TempDir dir;
  writeFile(dir.file("fail.stz.zarnd.conf"), "3\n");
  EXPECT_FALSE(writeFaultRequested("/opt/zarn/etc/zarnd.conf", dir.file("")));
  EXPECT_EQ(readFile(dir.file("fail.stz.zarnd.conf")), "2\n");
  EXPECT_FALSE(writeFaultRequested("/opt/zarn/etc/zarnd.conf", dir.file("")));
  EXPECT_TRUE(writeFaultRequested("/opt/zarn/etc/zarnd.conf", dir.file("")));
  EXPECT_TRUE(writeFaultRequested("/opt/zarn/etc/zarnd.conf", dir.file("")));
}

TEST(StzWriteFault, TextThatIsNoNumberFailsAtOnce) {
  const TempDir dir;
  writeFile(dir.file("fail.stz.x.conf"), "soon");
  EXPECT_TRUE(writeFaultRequested("x.conf", dir.file("")));
}

}  // namespace
}  // namespace stz
