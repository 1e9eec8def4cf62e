// End to end: several simulated hosts configured against one policy store,
// as machines share one Varden Policy Server.
#include "e2e/config_fixture.h"

namespace e2e {
namespace {

hostsim::HostOptions shared_host(const std::string& name, const std::filesystem::path& store_dir) {
  hostsim::HostOptions options;
  options.hostname = name;
  options.shared_varden = store_dir;
  return options;
}

class SharedStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prepare_host(first_);
    prepare_host(second_, false);
    const auto r = first_.zarncfg(first_args());
    ASSERT_EQ(r.exit_status, 0) << describe(r);
  }
  void TearDown() override {
    expect_no_password_left(first_);
    expect_no_password_left(second_);
  }

  const sys::ScratchDir store_{"zarn-shared-store"};  // removed after the hosts that used it
  TempHost first_{shared_host("hosta", store_.path())};
  TempHost second_{shared_host("hostb", store_.path())};
};

TEST_F(SharedStoreTest, SecondHostOnTheSameBranchLoadsOnlyItsMachinePolicy) {
  const auto r = second_.zarncfg(first_args());

  EXPECT_EQ(r.out, kFirstRunHead + kMachinePolicy + kTcb + kOtherDaemons + kSuccess) << describe(r);
  EXPECT_EQ(r.exit_status, 0);
  const std::string log = second_.log_text();
  EXPECT_NE(log.find("/BREVIK already exists in the objectspace. \nRegistration of Zarn product policy has already "
                     "been done.\n"),
            std::string::npos);
  EXPECT_NE(log.find("/BREVIK/brevik1 already exists in the objectspace. \nRegistration of the policy-specific "
                     "policy information has already been done.\n"),
            std::string::npos);
  EXPECT_EQ(second_.sh("/opt/Varden/bin/kxadmin objectspace list").out, "/BREVIK\n/BREVIK/brevik1\n");
  EXPECT_EQ(second_.sh("/opt/Varden/bin/kxadmin user list").out, "zarnd/hosta\nzarnd/hostb\n");
  EXPECT_EQ(second_.sh("/opt/Varden/bin/kxadmin group show brevik-servers").out,
            "dn cn=servers\ncn servers\nmember zarnd/hosta\nmember zarnd/hostb\n");
  EXPECT_EQ(second_.sh("/opt/Varden/bin/kxadmin acl show brevik-brevik1-hosts").out,
            "user zarnd/hosta Tr\nuser zarnd/hostb Tr\n");
  EXPECT_EQ(stanza_value(second_.read_file("/opt/zarn/etc/zarnd.conf"), "zarncfg", "state"), "on");
}

TEST_F(SharedStoreTest, HostOnANewBranchLoadsTheBranchPolicy) {
  std::vector<std::string> args = first_args();
  args[3] = "brevik2";
  const auto r = second_.zarncfg(args);

  EXPECT_EQ(r.out, kFirstRunHead + kBranchPolicy + kMachinePolicy + kTcb + kOtherDaemons + kSuccess) << describe(r);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_NE(second_.log_text().find("/BREVIK already exists in the objectspace. \n"), std::string::npos);
  EXPECT_EQ(second_.sh("/opt/Varden/bin/kxadmin objectspace list").out,
            "/BREVIK\n/BREVIK/brevik1\n/BREVIK/brevik2\n");
  EXPECT_EQ(second_.sh("/opt/Varden/bin/kxadmin acl show brevik-brevik2-hosts").out, "user zarnd/hostb Tr\n");
  EXPECT_EQ(second_.sh("/opt/Varden/bin/kxadmin acl show brevik-brevik1-hosts").out, "user zarnd/hosta Tr\n");
  EXPECT_EQ(stanza_value(second_.read_file("/opt/zarn/etc/brevik.conf"), "policy", "branch"), "brevik2");
}

TEST_F(SharedStoreTest, FailedSecondHostLeavesTheFirstOnesPolicy) {
  const std::string store_before = store_dump(first_);
  second_.write_file("/var/zarn/run/fail.zarnlpadm", "1");

  const auto r = second_.zarncfg(first_args());

  EXPECT_EQ(r.exit_status, 1) << describe(r);
  EXPECT_NE(r.out.find(kRollBack + "..\n" + kUnregister + kFailed), std::string::npos) << r.out;
  EXPECT_EQ(store_dump(first_), store_before);
}

}  // namespace
}  // namespace e2e
