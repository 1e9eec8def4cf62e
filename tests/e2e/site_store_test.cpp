// End to end, on both backends of the policy store: what a site does with
// it.  The hosts of a site share one store: a store file bound into every
// host, or one database on a PostgreSQL server whose socket every host
// reaches.
#include <memory>
#include <vector>

#include "e2e/config_fixture.h"
#include "e2e/site_store.h"

namespace e2e {
namespace {

class SiteTest : public ::testing::TestWithParam<kxtest::Backend> {
 protected:
  void SetUp() override {
    ASSERT_EQ(store_.problem(), "");
    first_ = add_host("hosta", true);
    second_ = add_host("hostb", false);
  }
  void TearDown() override {
    for (const auto& host : hosts_) expect_no_password_left(*host);
    hosts_.clear();
  }

  TempHost* add_host(const std::string& name, bool create_store) {
    hosts_.push_back(std::make_unique<TempHost>(store_.host_options(name)));
    store_.point(*hosts_.back());
    prepare_host(*hosts_.back(), create_store);
    return hosts_.back().get();
  }
  std::string kxadmin(const std::string& words) { return first_->sh("/opt/Varden/bin/kxadmin " + words).out; }

  SiteStore store_{GetParam()};
  std::vector<std::unique_ptr<TempHost>> hosts_;
  TempHost* first_ = nullptr;
  TempHost* second_ = nullptr;
};

TEST_P(SiteTest, FirstConfigurationThenReconfiguration) {
  auto r = first_->zarncfg(first_args());
  EXPECT_EQ(r.out, kFirstRunHead + kPolicyLoad + kTcb + kOtherDaemons + kSuccess) << describe(r);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(kxadmin("objectspace list"), "/BREVIK\n/BREVIK/brevik1\n");
  EXPECT_EQ(kxadmin("user list 'zarnd/*'"), "zarnd/hosta\n");
  EXPECT_EQ(kxadmin("acl show brevik-brevik1-hosts"), "user zarnd/hosta Tr\n");
  const std::string store_before = store_dump(*first_);

  r = first_->zarncfg({"-zarnd_logs", "9"});
  EXPECT_EQ(r.out, kReconfigHead + kOtherDaemons + kSuccess) << describe(r);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(store_dump(*first_), store_before);
}

TEST_P(SiteTest, SecondHostOnTheSameBranchLoadsOnlyItsMachinePolicy) {
  configure_first(*first_);
  const auto r = second_->zarncfg(first_args());

  EXPECT_EQ(r.out, kFirstRunHead + kMachinePolicy + kTcb + kOtherDaemons + kSuccess) << describe(r);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(kxadmin("user list 'zarnd/*'"), "zarnd/hosta\nzarnd/hostb\n");
  EXPECT_EQ(kxadmin("group show brevik-servers"), "dn cn=servers\ncn servers\nmember zarnd/hosta\nmember zarnd/hostb\n");
  EXPECT_EQ(kxadmin("acl show brevik-brevik1-hosts"), "user zarnd/hosta Tr\nuser zarnd/hostb Tr\n");
}

// A host on a new branch fails late, after its branch policy went in: the
// roll-back takes the branch and the host out again and leaves the first
// host's policy as it was; the same command then succeeds.
TEST_P(SiteTest, NewBranchRolledBackThenConfigured) {
  configure_first(*first_);
  const std::string store_before = store_dump(*first_);
  std::vector<std::string> args = first_args();
  args[3] = "brevik2";
  second_->write_file("/var/zarn/run/fail.zarnlpadm", "1");

  auto r = second_->zarncfg(args);
  EXPECT_EQ(r.exit_status, 1) << describe(r);
  EXPECT_NE(r.out.find(kFirstRunHead + kBranchPolicy + kMachinePolicy), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(kRollBack), std::string::npos) << r.out;
  EXPECT_EQ(store_dump(*first_), store_before);

  second_->sh("rm /var/zarn/run/fail.zarnlpadm");
  r = second_->zarncfg(args);
  EXPECT_EQ(r.out, kFirstRunHead + kBranchPolicy + kMachinePolicy + kTcb + kOtherDaemons + kSuccess) << describe(r);
  EXPECT_EQ(kxadmin("objectspace list"), "/BREVIK\n/BREVIK/brevik1\n/BREVIK/brevik2\n");
  EXPECT_EQ(kxadmin("acl show brevik-brevik2-hosts"), "user zarnd/hostb Tr\n");
  EXPECT_EQ(kxadmin("acl show brevik-brevik1-hosts"), "user zarnd/hosta Tr\n");
}

INSTANTIATE_TEST_SUITE_P(Backends, SiteTest, kxtest::all_backends(), kxtest::BackendName());

}  // namespace
}  // namespace e2e
