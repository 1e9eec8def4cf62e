// The keeper of a run's leases: renews what it keeps, reports a lease lost
// only while the run still keeps it.
#include "zarncfg_lease_keeper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace {

using namespace std::chrono_literals;

TEST(LeaseKeeperTest, RenewsEveryKeptLeaseUntilItIsRemoved) {
  std::mutex mutex;
  std::vector<std::string> renewed;
  LeaseKeeper keeper(
      [&](const std::string& name) {
        std::lock_guard<std::mutex> hold(mutex);
        renewed.push_back(name);
        return Renewal::renewed;
      },
      5ms);
  keeper.add("/BREVIK");
  keeper.add("/BREVIK/b");
  keeper.remove("/BREVIK");
  EXPECT_EQ(keeper.names(), std::vector<std::string>{"/BREVIK/b"});
  for (int i = 0; i < 400; ++i) {
    {
      std::lock_guard<std::mutex> hold(mutex);
      if (std::count(renewed.begin(), renewed.end(), "/BREVIK/b") >= 2) break;
    }
    std::this_thread::sleep_for(5ms);
  }
  std::lock_guard<std::mutex> hold(mutex);
  EXPECT_GE(std::count(renewed.begin(), renewed.end(), "/BREVIK/b"), 2);
  EXPECT_EQ(std::count(renewed.begin(), renewed.end(), "/BREVIK"), 0);
}

TEST(LeaseKeeperTest, ALeaseFoundGoneWhileKeptIsLost) {
  std::promise<void> asked;
  std::atomic<bool> once{false};
  LeaseKeeper keeper(
      [&](const std::string&) {
        if (!once.exchange(true)) asked.set_value();
        return Renewal::lost;
      },
      1ms);
  keeper.add("/BREVIK");
  asked.get_future().wait();
  for (int i = 0; i < 400 && keeper.lost().empty(); ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(keeper.lost(), "/BREVIK");
}

// The renewal thread read the names, then the run gave the lease up, then
// the renewal found it gone: that is no lost lease.
TEST(LeaseKeeperTest, ALeaseGivenUpDuringItsRenewalIsNotLost) {
  std::promise<void> renewing;
  std::promise<void> given_up;
  std::shared_future<void> given_up_seen = given_up.get_future().share();
  std::atomic<bool> once{false};
  LeaseKeeper keeper(
      [&](const std::string&) {
        if (once.exchange(true)) return Renewal::renewed;
        renewing.set_value();
        given_up_seen.wait();
        return Renewal::lost;
      },
      1ms);
  keeper.add("/BREVIK");
  renewing.get_future().wait();
  keeper.remove("/BREVIK");
  given_up.set_value();
  keeper.add("/BREVIK/b");  // the run goes on with another lease
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(keeper.lost(), "");
}

}  // namespace
