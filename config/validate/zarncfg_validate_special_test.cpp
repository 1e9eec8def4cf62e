#include <string>

#include "zarncfg_test_support.h"
#include "zarncfg_validate.h"

namespace {

constexpr std::uint32_t kGiven = CFG_SET | CFG_CMDLINE | CFG_HAS_VALUE;

// Every case here is a run that neither pings the daemons nor copies a
// certificate: those touch the product's fixed paths and are run end to end.
class SpecialCases : public ScratchDirTest {
 protected:
  void give(int index, std::string value) { record_[static_cast<std::size_t>(index)] = ConfigEntry{kGiven, value}; }
  void reconfiguration() { record_[IDX_CONFIG_STATE] = ConfigEntry{CFG_CURRENT | CFG_HAS_VALUE, "on"}; }
  vd_msgid_t check(std::string_view program = "zarncfg") {
    vd_msgid_t status = 1;
    testing::internal::CaptureStdout();
    zarncfg_validate_special_cases(record_, program, status);
    printed_ = testing::internal::GetCapturedStdout();
    return status;
  }

  ConfigRecord record_{};
  std::string printed_;
};

TEST_F(SpecialCases, DefaultsPass) {
  reconfiguration();
  EXPECT_EQ(check(), 0u) << printed_;
}

TEST_F(SpecialCases, CredentialHoldMustOutlastBothRefreshes) {
  reconfiguration();
  const struct {
    const char* hold;
    const char* admin;
    const char* user;
    bool passes;
  } cases[] = {{"720", nullptr, nullptr, false}, {"721", nullptr, nullptr, true}, {"360", "360", "300", false},
               {"361", "360", "360", true},     {"5", "1", "4", true},             {nullptr, "10080", nullptr, false}};
  for (const auto& c : cases) {
    record_[IDX_CRED_HOLD] = {};
    record_[IDX_ADMIN_CRED_REFRESH] = {};
    record_[IDX_USER_CRED_REFRESH] = {};
    if (c.hold) give(IDX_CRED_HOLD, c.hold);
    if (c.admin) give(IDX_ADMIN_CRED_REFRESH, c.admin);
    if (c.user) give(IDX_USER_CRED_REFRESH, c.user);
    EXPECT_EQ(check(), c.passes ? 0u : msg_id(1302)) << (c.hold ? c.hold : "-");
  }
  EXPECT_EQ(printed_, "ZRNCF1302E   The value for cred_hold must be greater than the values \n"
                      "of both admin_cred_refresh and user_cred_refresh. \n");
}

TEST_F(SpecialCases, FirstConfigurationNeedsTheCertificate) {
  EXPECT_EQ(check(), msg_id(1363));
  EXPECT_EQ(printed_,
            "ZRNCF1363E   The option -ldap_ssl_cacert must be specified during an initial configuration.\n");
  // One found in the current files is not one given for this run.
  record_[IDX_LDAP_SSL_CACERT] = ConfigEntry{CFG_CURRENT | CFG_HAS_VALUE, "/var/zarn/certs/ca.pem"};
  EXPECT_EQ(check(), msg_id(1363));
}

TEST_F(SpecialCases, AuditLevelNoneStandsAlone) {
  reconfiguration();
  give(IDX_AUDIT_LEVEL, "none,permit");
  EXPECT_EQ(check(), msg_id(1379));
  EXPECT_EQ(printed_, "ZRNCF1379E   The value \"none\" cannot be used with other values.\n");
  give(IDX_AUDIT_LEVEL, "none");
  EXPECT_EQ(check(), 0u);
}

TEST_F(SpecialCases, OtherProgramsSkipTheRules) {
  give(IDX_CRED_HOLD, "1");
  EXPECT_EQ(check("zarnother"), 0u);
  EXPECT_EQ(printed_, "");
}

}  // namespace
