#include "hostsim/remove.h"

#include <gtest/gtest.h>

namespace hostsim {
namespace {

constexpr std::string_view kMountinfo =
    "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
    "40 27 254:0 /usr /tmp/host/usr ro,relatime - ext4 /dev/vda rw\n"
    "41 27 0:6 / /tmp/host/dev rw - devtmpfs devtmpfs rw\n"
    "42 27 0:6 / /tmp/hostess rw - devtmpfs devtmpfs rw\n"
    "43 27 0:6 / /tmp/with\\040space/dev rw - devtmpfs devtmpfs rw\n"
    "44 27 0:6 / /tmp/host rw - tmpfs tmpfs rw\n";

TEST(MountPointsUnder, FindsTheDirectoryAndItsDescendantsOnly) {
  EXPECT_EQ(mount_points_under(kMountinfo, "/tmp/host"),
            (std::vector<std::string>{"/tmp/host/usr", "/tmp/host/dev", "/tmp/host"}));
  EXPECT_EQ(mount_points_under(kMountinfo, "/tmp/host/"),
            (std::vector<std::string>{"/tmp/host/usr", "/tmp/host/dev", "/tmp/host"}));
}

TEST(MountPointsUnder, DecodesEscapedCharacters) {
  EXPECT_EQ(mount_points_under(kMountinfo, "/tmp/with space"), (std::vector<std::string>{"/tmp/with space/dev"}));
}

TEST(MountPointsUnder, NothingForAnUnmountedDirectory) {
  EXPECT_TRUE(mount_points_under(kMountinfo, "/var/zarn").empty());
}

}  // namespace
}  // namespace hostsim
