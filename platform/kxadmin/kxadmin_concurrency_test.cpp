#include <unistd.h>

#include "kx_test_support.h"
#include "sys_child.h"
#include "sys_fd.h"

namespace {

constexpr int WRITES_PER_PROCESS = 40;

// Runs in the child: wait for the start signal, then write as fast as
// possible through a context of its own.
[[noreturn]] void write_acls(sys::Pipe& start, char tag) {
  start.write_end.reset();  // else this child would keep its own start signal from coming
  char go = 0;
  (void)::read(start.read_end.get(), &go, 1);  // end of file is the signal
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

TEST_P(ConcurrencyTest, TwoProcessesWritingAtOnceBothSucceed) {
  sys::Pipe start;
  ASSERT_TRUE(sys::make_pipe(start));
  // SQLite connections must not cross a fork: the children open their own.
  ctx.reset();
  std::vector<sys::Child> children;
  for (char tag : {'a', 'b'}) {
    std::optional<sys::Child> child = sys::Child::start(sys::ChildSpec([&start, tag] { write_acls(start, tag); }));
    ASSERT_TRUE(child);
    children.push_back(std::move(*child));
  }
  start.write_end.reset();  // both children see end of file and start together
  for (sys::Child& child : children) {
    const std::optional<sys::ExitStatus> end = child.wait();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->code, 0);
  }
  ASSERT_EQ(kxadmin_context_createdefault("sec_master", kxtest::SEC_MASTER_PWD, ctx, rsp), 1);
  unsigned long count = 0;
  std::vector<std::string> names;
  ASSERT_EQ(kxadmin_acl_list(ctx.get(), count, names, rsp), 1);
  EXPECT_EQ(count, 2u * WRITES_PER_PROCESS);
}

INSTANTIATE_TEST_SUITE_P(Backends, ConcurrencyTest, kxtest::all_backends(), kxtest::BackendName());

}  // namespace
