// Leases on shared policy: one run holds a lease at a time, another sees
// who holds it, an expired lease passes to the next run with its dead
// owner named, and an owner that lost its lease cannot disturb the next.
#include <unistd.h>

#include <chrono>
#include <thread>

#include "kx_codes.h"
#include "kx_test_support.h"
#include "sys_child.h"
#include "sys_fd.h"

namespace {

const kxadmin_run_tag FIRST{"hosta", 100, 1700000000};
const kxadmin_run_tag SECOND{"hostb", 200, 1700000001};
constexpr std::int64_t LONG_MS = 600000;

class LeaseTest : public kxtest::StoreTest {
 protected:
  void SetUp() override {
    kxtest::StoreTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(kxadmin_context_setruntag(ctx.get(), FIRST, rsp), 1);
    ASSERT_EQ(kxadmin_context_createdefault("sec_master", kxtest::SEC_MASTER_PWD, other, rsp), 1);
    ASSERT_EQ(kxadmin_context_setruntag(other.get(), SECOND, rsp), 1);
  }

  int take(const kxadmin_context* c, std::string_view name, std::int64_t expiry_ms) {
    return kxadmin_lease_take(c, name, expiry_ms, seen, rsp);
  }
  std::vector<kxadmin_lease> leases() {
    std::vector<kxadmin_lease> list;
    EXPECT_EQ(kxadmin_lease_list(ctx.get(), list, rsp), 1);
    return list;
  }
  // A lease of `expiry_ms` that has surely expired by the store's clock.
  void take_and_let_expire(const kxadmin_context* c, std::string_view name) {
    ASSERT_EQ(take(c, name, 1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  kxadmin_context_t other;
  std::optional<kxadmin_lease> seen;
};

TEST_P(LeaseTest, AHeldLeaseStopsAnotherRunAndNamesItsOwner) {
  ASSERT_EQ(take(ctx.get(), "/BREVIK", LONG_MS), 1);
  EXPECT_FALSE(seen);
  EXPECT_EQ(take(other.get(), "/BREVIK", LONG_MS), 0);
  EXPECT_EQ(code(), kx::CODE_LEASE_HELD);
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->owner, FIRST);
  EXPECT_FALSE(seen->expired);
  // Another name is free, and taking one's own lease again renews it.
  EXPECT_EQ(take(other.get(), "/BREVIK/b", LONG_MS), 1);
  EXPECT_EQ(take(ctx.get(), "/BREVIK", LONG_MS), 1);
  EXPECT_FALSE(seen);
}

TEST_P(LeaseTest, AReleasedLeaseIsFreeForTheNextRun) {
  ASSERT_EQ(take(ctx.get(), "/BREVIK", LONG_MS), 1);
  ASSERT_EQ(kxadmin_lease_renew(ctx.get(), "/BREVIK", LONG_MS, rsp), 1);
  ASSERT_EQ(kxadmin_lease_release(ctx.get(), "/BREVIK", rsp), 1);
  EXPECT_TRUE(leases().empty());
  EXPECT_EQ(take(other.get(), "/BREVIK", LONG_MS), 1);
  EXPECT_FALSE(seen) << "a released lease is no dead run's";
}

TEST_P(LeaseTest, AnExpiredLeasePassesToTheNextRunWithItsDeadOwner) {
  take_and_let_expire(ctx.get(), "/BREVIK");
  const std::vector<kxadmin_lease> before = leases();
  ASSERT_EQ(before.size(), 1u);
  EXPECT_TRUE(before[0].expired);
  ASSERT_EQ(take(other.get(), "/BREVIK", LONG_MS), 1);
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->owner, FIRST);
  EXPECT_TRUE(seen->expired);
  const std::vector<kxadmin_lease> after = leases();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].owner, SECOND);
  EXPECT_FALSE(after[0].expired);
}

TEST_P(LeaseTest, AnOwnerThatLostItsLeaseCannotTouchTheNewOwners) {
  take_and_let_expire(ctx.get(), "/BREVIK");
  ASSERT_EQ(take(other.get(), "/BREVIK", LONG_MS), 1);
  EXPECT_EQ(kxadmin_lease_renew(ctx.get(), "/BREVIK", LONG_MS, rsp), 0);
  EXPECT_EQ(code(), kx::CODE_LEASE_LOST);
  EXPECT_EQ(kxadmin_lease_release(ctx.get(), "/BREVIK", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_LEASE_LOST);
  EXPECT_EQ(take(ctx.get(), "/BREVIK", LONG_MS), 0);
  EXPECT_EQ(code(), kx::CODE_LEASE_HELD);
  const std::vector<kxadmin_lease> list = leases();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].owner, SECOND);
}

TEST_P(LeaseTest, ARunThatLostALeaseChangesNoMorePolicy) {
  take_and_let_expire(ctx.get(), "/BREVIK");
  ASSERT_EQ(kxadmin_objectspace_create(ctx.get(), "/BREVIK", 14, "mine", rsp), 1) << "held, though expired";
  ASSERT_EQ(take(other.get(), "/BREVIK", LONG_MS), 1);
  const std::string before = dump(true);
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), "late", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_LEASE_LOST);
  EXPECT_EQ(dump(true), before);
  // Its own changes can still be taken back, by itself or by the new owner.
  EXPECT_EQ(kxadmin_run_rollback(ctx.get(), FIRST, rsp), 1);
  EXPECT_EQ(dump(true).find("/BREVIK"), std::string::npos);
  // The new owner changes policy freely; a run that gave its lease up too.
  EXPECT_EQ(kxadmin_acl_create(other.get(), "theirs", rsp), 1);
  EXPECT_EQ(kxadmin_lease_release(other.get(), "/BREVIK", rsp), 1);
  EXPECT_EQ(kxadmin_acl_create(other.get(), "after", rsp), 1);
}

TEST_P(LeaseTest, AnExpiredLeaseNobodyTookIsStillItsOwners) {
  take_and_let_expire(ctx.get(), "/BREVIK");
  EXPECT_EQ(kxadmin_lease_renew(ctx.get(), "/BREVIK", LONG_MS, rsp), 1);
  EXPECT_EQ(take(other.get(), "/BREVIK", LONG_MS), 0);
  EXPECT_EQ(code(), kx::CODE_LEASE_HELD);
}

TEST_P(LeaseTest, ALeaseOfARunKnownEndedIsBrokenAtOnce) {
  ASSERT_EQ(take(ctx.get(), "/BREVIK", LONG_MS), 1);
  const kxadmin_run_tag stranger{"hostc", 300, 1};
  ASSERT_EQ(kxadmin_lease_break(other.get(), "/BREVIK", stranger, rsp), 1);
  EXPECT_EQ(leases().size(), 1u) << "another run's lease stays";
  ASSERT_EQ(kxadmin_lease_break(other.get(), "/BREVIK", FIRST, rsp), 1);
  EXPECT_TRUE(leases().empty());
  EXPECT_EQ(take(other.get(), "/BREVIK", LONG_MS), 1);
  EXPECT_FALSE(seen);
}

TEST_P(LeaseTest, LeasesAreNoPolicyAndLeaveNoUndoRecords) {
  const std::string policy = dump(true);
  ASSERT_EQ(take(ctx.get(), "/BREVIK", LONG_MS), 1);
  ASSERT_EQ(take(ctx.get(), "/BREVIK/a", LONG_MS), 1);
  EXPECT_EQ(dump(true), policy);
  const std::vector<kxadmin_lease> list = leases();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "/BREVIK");
  EXPECT_EQ(list[1].name, "/BREVIK/a");
}

TEST_P(LeaseTest, CallsAreChecked) {
  ASSERT_EQ(kxadmin_context_setruntag(other.get(), std::nullopt, rsp), 1);
  EXPECT_EQ(take(other.get(), "/BREVIK", LONG_MS), 0);
  EXPECT_EQ(code(), kx::CODE_BAD_ARGUMENT);
  EXPECT_EQ(kxadmin_lease_release(other.get(), "/BREVIK", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_BAD_ARGUMENT);
  EXPECT_EQ(take(ctx.get(), "/BREVIK", 0), 0);
  EXPECT_EQ(code(), kx::CODE_BAD_ARGUMENT);
  EXPECT_EQ(take(ctx.get(), "", LONG_MS), 0);
  EXPECT_EQ(code(), kx::CODE_BAD_ARGUMENT);
  EXPECT_EQ(kxadmin_lease_take(nullptr, "/BREVIK", LONG_MS, seen, rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NO_CONTEXT);
  EXPECT_TRUE(leases().empty());
}

TEST_P(LeaseTest, AnInjectedFaultStopsTheTake) {
  {
    kx::Outcome error;
    auto store = kx::Store::open(path, error);
    ASSERT_NE(store, nullptr);
    ASSERT_TRUE(store->write([&] { return store->fault_add(kx::Fault{"kxadmin_lease_take", "/BREVIK"}); }).ok());
  }
  EXPECT_EQ(take(ctx.get(), "/BREVIK", LONG_MS), 0);
  EXPECT_EQ(code(), kx::CODE_INJECTED_FAULT);
  EXPECT_TRUE(leases().empty());
}

// Runs in a child: waits for the start, then tries the lease once.  Exit 0
// when it took it, 10 when another held it and this run may still change
// policy (a take that lost its race, even after its write, left it no
// lease to be fenced by).
[[noreturn]] void race_for_lease(sys::Pipe& start, std::int64_t pid) {
  start.write_end.reset();
  char go = 0;
  (void)::read(start.read_end.get(), &go, 1);  // end of file is the signal
  kxadmin_context_t c;
  kxadmin_response_t r;
  if (kxadmin_context_createdefault("sec_master", kxtest::SEC_MASTER_PWD, c, r) != 1) ::_exit(2);
  if (kxadmin_context_setruntag(c.get(), kxadmin_run_tag{"racer", pid, 1}, r) != 1) ::_exit(3);
  std::optional<kxadmin_lease> seen;
  if (kxadmin_lease_take(c.get(), "/BREVIK", LONG_MS, seen, r) == 1) ::_exit(seen ? 4 : 0);
  if (kxadmin_response_getcode(r.get(), 0) != kx::CODE_LEASE_HELD || !seen) ::_exit(5);
  ::_exit(kxadmin_acl_create(c.get(), "racer" + std::to_string(pid), r) == 1 ? 10 : 6);
}

TEST_P(LeaseTest, OfRunsRacingForALeaseExactlyOneTakesIt) {
  sys::Pipe start;
  ASSERT_TRUE(sys::make_pipe(start));
  ctx.reset();  // SQLite connections must not cross a fork
  other.reset();
  std::vector<sys::Child> children;
  for (std::int64_t pid = 1; pid <= 4; ++pid) {
    std::optional<sys::Child> child = sys::Child::start(sys::ChildSpec([&start, pid] { race_for_lease(start, pid); }));
    ASSERT_TRUE(child);
    children.push_back(std::move(*child));
  }
  start.write_end.reset();
  int winners = 0;
  for (sys::Child& child : children) {
    const std::optional<sys::ExitStatus> end = child.wait();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->code == 0 || end->code == 10) << end->code;
    winners += end->code == 0 ? 1 : 0;
  }
  EXPECT_EQ(winners, 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, LeaseTest, kxtest::all_backends(), kxtest::BackendName());

}  // namespace
