#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "kx_test_support.h"

namespace {

constexpr int WRITES_PER_PROCESS = 40;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// A forked child that is always reaped, even when an assertion ends the test.
class Child {
 public:
  explicit Child(pid_t pid) : pid_(pid) {}
  ~Child() {
    if (pid_ > 0) wait_status();
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  int wait_status() {
    int status = -1;
    while (pid_ > 0 && ::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_;
};

// Runs in the child: wait for the start signal, then write as fast as
// possible through a context of its own.
[[noreturn]] void write_acls(Fd& start_read, Fd& start_write, char tag) {
  start_write.reset();  // else this child would keep its own start signal from coming
  char go = 0;
  (void)::read(start_read.get(), &go, 1);
  kxadmin_context_t ctx;
  kxadmin_response_t rsp;
  if (kxadmin_context_createdefault("sec_master", kxtest::SEC_MASTER_PWD, ctx, rsp) != 1) ::_exit(2);
  for (int i = 0; i < WRITES_PER_PROCESS; ++i) {
    const std::string name = std::string(1, tag) + "-" + std::to_string(i);
    if (kxadmin_acl_create(ctx.get(), name, rsp) != 1) ::_exit(3);
    if (kxadmin_acl_setanyother(ctx.get(), name, "T", rsp) != 1) ::_exit(4);
  }
  ::_exit(0);
}

class ConcurrencyTest : public kxtest::StoreTest {};

TEST_F(ConcurrencyTest, TwoProcessesWritingAtOnceBothSucceed) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  Fd start_read(fds[0]), start_write(fds[1]);
  // SQLite connections must not cross a fork: the children open their own.
  ctx.reset();
  std::vector<std::unique_ptr<Child>> children;
  for (char tag : {'a', 'b'}) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) write_acls(start_read, start_write, tag);
    children.push_back(std::make_unique<Child>(pid));
  }
  start_write.reset();  // both children see end of file and start together
  for (auto& child : children) {
    const int status = child->wait_status();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  ASSERT_EQ(kxadmin_context_createdefault("sec_master", kxtest::SEC_MASTER_PWD, ctx, rsp), 1);
  unsigned long count = 0;
  std::vector<std::string> names;
  ASSERT_EQ(kxadmin_acl_list(ctx.get(), count, names, rsp), 1);
  EXPECT_EQ(count, 2u * WRITES_PER_PROCESS);
}

}  // namespace
