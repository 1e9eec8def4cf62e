#include "sys_lock.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <chrono>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "sys_child.h"
#include "sys_testing.h"

namespace sys {
namespace {

namespace fs = std::filesystem;

class SysLock : public ::testing::Test {
 protected:
  // A process that takes the lock, reports on `ready` and, when asked,
  // leaves a child behind that ends once `release` is written to.
  std::optional<Child> holder(Pipe& ready, Pipe& release, bool leave_child) {
    ChildSpec setup([this, &ready, &release, leave_child] {
      pid_t other = 0;
      std::string why;
      UniqueFd fd = lock_file(lock_, other, why);
      if (!fd.valid()) ::_exit(1);
      ChildSpec straggler("/bin/sh", {"sh", "-c", "read line"});
      straggler.stdin_fd = release.read_end.get();
      // _exit below runs no destructor: the child is left to run on.
      const std::optional<Child> child = leave_child ? Child::start(straggler) : std::nullopt;
      if (leave_child && !child) ::_exit(2);
      (void)write_all(ready.write_end.get(), "x");
      if (!leave_child) {
        char byte;
        (void)::read(release.read_end.get(), &byte, 1);
      }
      ::_exit(0);
    });
    std::optional<Child> child = Child::start(setup);
    ready.write_end.reset();
    char byte = 0;
    EXPECT_EQ(::read(ready.read_end.get(), &byte, 1), 1);
    return child;
  }

  ScratchDir scratch_{"sys-lock-test"};
  const fs::path& dir_ = scratch_.path();
  std::string lock_ = (dir_ / "run.lock").string();
  pid_t holder_pid_ = -1;
  std::string why_;
};

TEST_F(SysLock, SecondTakerIsRefusedAndToldTheHoldersId) {
  Pipe ready, release;
  ASSERT_TRUE(make_pipe(ready) && make_pipe(release));
  std::optional<Child> first = holder(ready, release, false);
  ASSERT_TRUE(first);
  EXPECT_FALSE(lock_file(lock_, holder_pid_, why_).valid());
  EXPECT_EQ(holder_pid_, first->pid());
  EXPECT_EQ(why_, "");
  ASSERT_TRUE(write_all(release.write_end.get(), "x"));
  EXPECT_EQ(first->wait()->code, 0);
  const UniqueFd mine = lock_file(lock_, holder_pid_, why_);
  EXPECT_TRUE(mine.valid()) << why_;
  std::ifstream written(lock_);
  pid_t pid = 0;
  written >> pid;
  EXPECT_EQ(pid, ::getpid());
}

// A looker shares the lock: it never creates the file, sees who holds it,
// and keeps a taker out while it looks.
TEST_F(SysLock, SharedLockKeepsTakersOutAndSeesTheHolder) {
  bool held = true;
  EXPECT_FALSE(share_lock_file(lock_, held, holder_pid_, why_).valid());
  EXPECT_FALSE(held);
  EXPECT_EQ(why_, "");
  EXPECT_FALSE(fs::exists(lock_));

  Pipe ready, release;
  ASSERT_TRUE(make_pipe(ready) && make_pipe(release));
  std::optional<Child> first = holder(ready, release, false);
  ASSERT_TRUE(first);
  EXPECT_FALSE(share_lock_file(lock_, held, holder_pid_, why_).valid());
  EXPECT_TRUE(held);
  EXPECT_EQ(holder_pid_, first->pid());
  ASSERT_TRUE(write_all(release.write_end.get(), "x"));
  EXPECT_EQ(first->wait()->code, 0);

  const UniqueFd looking = share_lock_file(lock_, held, holder_pid_, why_);
  ASSERT_TRUE(looking.valid()) << why_;
  EXPECT_FALSE(lock_file(lock_, holder_pid_, why_).valid());
  EXPECT_EQ(why_, "");
}

TEST_F(SysLock, ChildrenOfAKilledHolderKeepTheLock) {
  Pipe ready, release;
  ASSERT_TRUE(make_pipe(ready) && make_pipe(release));
  std::optional<Child> first = holder(ready, release, true);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->wait()->code, 0);
  EXPECT_FALSE(lock_file(lock_, holder_pid_, why_).valid());
  EXPECT_EQ(holder_pid_, first->pid());
  release.read_end.reset();
  ASSERT_TRUE(write_all(release.write_end.get(), "done\n"));
  release.write_end.reset();
  // The straggler ends on its own once it has read the line.
  UniqueFd mine;
  while (!(mine = lock_file(lock_, holder_pid_, why_)).valid()) {
    ASSERT_EQ(why_, "");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TEST_F(SysLock, LinkOrForeignFileAtThePathIsRefused) {
  fs::create_symlink(dir_ / "elsewhere", lock_);
  EXPECT_FALSE(lock_file(lock_, holder_pid_, why_).valid());
  EXPECT_EQ(why_.rfind("open: ", 0), 0u) << why_;
  EXPECT_FALSE(fs::exists(dir_ / "elsewhere"));
  fs::remove(lock_);
  std::ofstream(lock_) << "";
  ASSERT_EQ(::chown(lock_.c_str(), 1234, 1234), 0);
  EXPECT_FALSE(lock_file(lock_, holder_pid_, why_).valid());
  EXPECT_EQ(why_, "not a regular file of this user");
}

}  // namespace
}  // namespace sys
