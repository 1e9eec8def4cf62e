#include "zarncfg_validate.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

#include "zarncfg_test_support.h"

namespace {

// Takes from this process what lets root read any file: CAP_DAC_OVERRIDE
// and CAP_DAC_READ_SEARCH, from the permitted set too, since access() judges
// a process whose real user is root by that set.
bool drop_read_override() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct caps[_LINUX_CAPABILITY_U32S_3]{};
  if (syscall(SYS_capget, &header, caps) != 0) return false;
  for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
    caps[CAP_TO_INDEX(cap)].effective &= ~CAP_TO_MASK(cap);
    caps[CAP_TO_INDEX(cap)].permitted &= ~CAP_TO_MASK(cap);
  }
  return syscall(SYS_capset, &header, caps) == 0;
}

constexpr std::uint32_t kGiven = CFG_SET | CFG_CMDLINE | CFG_HAS_VALUE;
constexpr vd_msgid_t kPass = 0;

class ValidateTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    // A password is at hand, so the second pass never prompts.
    give(IDX_SEC_MASTER_PWD, "pw");
  }
  void give(int index, std::string value, std::uint32_t flags = kGiven) {
    record_[static_cast<std::size_t>(index)] = ConfigEntry{flags, std::move(value)};
  }
  void reconfiguration() { record_[IDX_CONFIG_STATE] = ConfigEntry{CFG_CURRENT | CFG_HAS_VALUE, "on"}; }
  vd_msgid_t ranges(const std::string& start_directory = "/nonexistent-start") {
    vd_msgid_t status = 0;
    testing::internal::CaptureStdout();
    const int passed =
        zarncfg_validate_ranges(record_, status, config_option_def, start_directory, zarndconf_min_max_requirements);
    printed_ = testing::internal::GetCapturedStdout();
    EXPECT_EQ(passed == 1, status == 0) << printed_;
    return status;
  }
  vd_msgid_t required() {
    vd_msgid_t status = 0;
    testing::internal::CaptureStdout();
    const int passed = zarncfg_validate_required(record_, status, config_option_def, zarncfg_required_options);
    printed_ = testing::internal::GetCapturedStdout();
    EXPECT_EQ(passed == 1, status == 0);
    return status;
  }
  const std::string& value(int index) const { return record_[static_cast<std::size_t>(index)].text(); }

  ConfigRecord record_{};
  std::string printed_;
};

struct ValueCase {
  int index;
  std::string given;
  vd_msgid_t status;
  std::string stored;  // the value after a pass; ignored on failure
};

class OneValue : public ValidateTest, public testing::WithParamInterface<ValueCase> {};

TEST_P(OneValue, IsCheckedAndNormalised) {
  const ValueCase& c = GetParam();
  give(c.index, c.given);
  EXPECT_EQ(ranges(), c.status) << "'" << c.given << "' " << printed_;
  if (c.status == kPass) {
    EXPECT_EQ(value(c.index), c.stored);
  }
}

constexpr int kThreads = 16;  // -kmsg_hnd_threads, 1..2147483647
constexpr int kPort = IDX_SSL_LISTENING_PORT;
constexpr int kRefresh = 27;
constexpr int kDns = 13;
constexpr int kUid = 37;
constexpr int kWarning = 42;
constexpr int kMaxFileSize = 34;
const vd_msgid_t kNotInteger = msg_id(1321);
const vd_msgid_t kOutOfRange = msg_id(1322);
const vd_msgid_t kTooLong = msg_id(1320);
const vd_msgid_t kNotOnOff = msg_id(1323);
const vd_msgid_t kNotInSet = msg_id(1376);
const vd_msgid_t kNotPositive = msg_id(1301);

INSTANTIATE_TEST_SUITE_P(
    Integers, OneValue,
    testing::Values(ValueCase{kThreads, "8", kPass, "8"}, ValueCase{kThreads, "08", kNotInteger, ""},
                    ValueCase{kThreads, "+8", kNotInteger, ""}, ValueCase{kThreads, " 8", kNotInteger, ""},
                    ValueCase{kThreads, "8 ", kNotInteger, ""}, ValueCase{kThreads, "8x", kNotInteger, ""},
                    ValueCase{kThreads, "", kNotInteger, ""}, ValueCase{kThreads, "12345678901", kNotInteger, ""},
                    ValueCase{kThreads, "2147483648", kNotInteger, ""},
                    ValueCase{kThreads, "4294967297", kNotInteger, ""},
                    ValueCase{kThreads, "2147483647", kPass, "2147483647"}, ValueCase{kThreads, "-0", kNotInteger, ""},
                    ValueCase{kThreads, "0", kOutOfRange, ""}, ValueCase{kThreads, "-1", kOutOfRange, ""},
                    ValueCase{kPort, "65535", kPass, "65535"}, ValueCase{kPort, "0", kPass, "0"},
                    ValueCase{kPort, "65536", kOutOfRange, ""}, ValueCase{IDX_CRED_HOLD, "0", kOutOfRange, ""},
                    ValueCase{kRefresh, "35791394", kPass, "35791394"},
                    ValueCase{kRefresh, "35791395", kOutOfRange, ""}));

INSTANTIATE_TEST_SUITE_P(Lengths, OneValue,
                         testing::Values(ValueCase{IDX_SUFFIX, std::string(1023, 's'), kPass, std::string(1023, 's')},
                                         ValueCase{IDX_SUFFIX, std::string(1024, 's'), kTooLong, ""},
                                         ValueCase{10, "", kPass, ""}));

INSTANTIATE_TEST_SUITE_P(
    OnOff, OneValue,
    testing::Values(ValueCase{kDns, "YES", kPass, "on"}, ValueCase{kUid, "y", kPass, "on"},
                    ValueCase{kUid, "0", kPass, "off"}, ValueCase{kWarning, "no", kPass, "off"},
                    ValueCase{kWarning, "T", kPass, "on"}, ValueCase{kWarning, "Off", kPass, "off"},
                    ValueCase{kWarning, "maybe", kNotOnOff, ""}, ValueCase{kWarning, "", kNotOnOff, ""},
                    ValueCase{kWarning, " on", kNotOnOff, ""}));

INSTANTIATE_TEST_SUITE_P(
    Sets, OneValue,
    testing::Values(ValueCase{IDX_AUDIT_LEVEL, "Permit,DENY", kPass, "permit,deny"},
                    ValueCase{IDX_AUDIT_LEVEL, "permit, deny", kNotInSet, ""},
                    ValueCase{IDX_AUDIT_LEVEL, "none,permit", kPass, "none,permit"},
                    ValueCase{IDX_AUDIT_LEVEL, "none", kPass, "none"},
                    ValueCase{IDX_AUDIT_LEVEL, "permit,", kNotInSet, ""},
                    ValueCase{IDX_AUDIT_LEVEL, "trace_file", kPass, "trace_file"},
                    ValueCase{IDX_AUDIT_LEVEL, "tcb_interval", kNotInSet, ""},
                    ValueCase{IDX_DELETE, "UID,tcb_interval", kPass, "uid,tcb_interval"},
                    ValueCase{IDX_DELETE, "branch", kNotInSet, ""}));

INSTANTIATE_TEST_SUITE_P(PositiveNumbers, OneValue,
                         testing::Values(ValueCase{kMaxFileSize, " 10 ", kPass, "10"},
                                         ValueCase{kMaxFileSize, "99999999999999999999", kPass, "99999999999999999999"},
                                         ValueCase{kMaxFileSize, "010", kNotPositive, ""},
                                         ValueCase{kMaxFileSize, "0", kNotPositive, ""},
                                         ValueCase{kMaxFileSize, "1e3", kNotPositive, ""},
                                         ValueCase{kMaxFileSize, "   ", kNotPositive, ""},
                                         ValueCase{kMaxFileSize, "", kNotPositive, ""}));

TEST_F(ValidateTest, MessagesNameTheOptionAndBounds) {
  give(kPort, "65536");
  EXPECT_EQ(ranges(), kOutOfRange);
  EXPECT_EQ(printed_, "ZRNCF1322E   The option -ssl_listening_port needs to be between 0 and 65535 inclusive. \n");
  EXPECT_NE(log_text().find("ZRNCF1322E   The option -ssl_listening_port needs to be between 0 and 65535"),
            std::string::npos);
  give(kPort, "1");
  give(IDX_SUFFIX, std::string(1024, 's'));
  EXPECT_EQ(ranges(), kTooLong);
  EXPECT_EQ(printed_, "ZRNCF1320E   The option -suffix requires a length of 1023 or less. \n");
  give(IDX_SUFFIX, "o=x");
  give(kMaxFileSize, " 1e3 ");
  EXPECT_EQ(ranges(), kNotPositive);
  EXPECT_EQ(printed_, "ZRNCF1301E   The value specified, 1e3, must be a positive integer. \n");
}

TEST_F(ValidateTest, EmptySetListPrintsBothMessages) {
  give(IDX_AUDIT_LEVEL, "");
  EXPECT_EQ(ranges(), kNotInSet);
  EXPECT_EQ(printed_, "ZRNCF1342E    was not a member of the set.\n"
                      "ZRNCF1376E   The value of  is invalid for the option -audit_level. \n");
}

TEST_F(ValidateTest, OnlyTheFirstFailureInOptionOrderIsReported) {
  give(kThreads, "x");
  give(IDX_AUDIT_LEVEL, "bogus");
  EXPECT_EQ(ranges(), kNotInSet);
  EXPECT_EQ(printed_.find("ZRNCF1321E"), std::string::npos);
}

TEST_F(ValidateTest, ValuesWithoutTheirPresenceFlagAreNotChecked) {
  give(kThreads, "08", CFG_DELETED);
  give(kMaxFileSize, "010", CFG_CURRENT | CFG_HAS_VALUE);
  EXPECT_EQ(ranges(), kPass);
  EXPECT_EQ(value(kMaxFileSize), "010");
}

TEST_F(ValidateTest, FileIsTakenAsGivenOrFromTheStartDirectory) {
  const auto absolute = make_file("ca.pem");
  give(IDX_LDAP_SSL_CACERT, absolute.string());
  EXPECT_EQ(ranges(), kPass);
  EXPECT_EQ(value(IDX_LDAP_SSL_CACERT), absolute.string());

  give(IDX_LDAP_SSL_CACERT, "ca.pem");  // not in the working directory
  EXPECT_EQ(ranges(root_.string()), kPass);
  EXPECT_EQ(value(IDX_LDAP_SSL_CACERT), root_.string() + "/ca.pem");

  give(IDX_LDAP_SSL_CACERT, "missing.pem");
  EXPECT_EQ(ranges(root_.string()), msg_id(1335));
  EXPECT_EQ(printed_, "ZRNCF1335E   The file missing.pem does not exist. \n");
  EXPECT_EQ(value(IDX_LDAP_SSL_CACERT), "missing.pem");

  // An empty name does not become the start directory itself.
  give(IDX_LDAP_SSL_CACERT, "");
  EXPECT_EQ(ranges(root_.string()), msg_id(1335));
}

// Root would read the file anyway; the case runs in a child without that
// power, as root and as any other user alike.
TEST_F(ValidateTest, UnreadableFileIsRefused) {
  const auto path = make_file("locked.pem");
  std::filesystem::permissions(path, std::filesystem::perms::none);
  give(IDX_LDAP_SSL_CACERT, path.string());
  const std::optional<std::string> outcome = sys::call_in_child([&] {
    if (!drop_read_override()) return std::string("capabilities kept");
    const vd_msgid_t status = ranges();
    return status == msg_id(1334) ? printed_ : "status " + std::to_string(status) + ": " + printed_;
  });
  EXPECT_EQ(outcome, "ZRNCF1334E   The file " + path.string() + " could not be read. \n");
}

TEST_F(ValidateTest, EmptyPasswordIsPromptedForOnAFirstConfiguration) {
  give(IDX_SEC_MASTER_PWD, "  ");
  const StdinFrom null_input("/dev/null");
  // The failed prompt shows that one was made.
  EXPECT_EQ(ranges(), msg_id(1328));
}

TEST_F(ValidateTest, PasswordIsPromptedOnlyAfterTheTableChecks) {
  record_[IDX_SEC_MASTER_PWD] = ConfigEntry{};
  give(kThreads, "08");
  const StdinFrom null_input("/dev/null");
  EXPECT_EQ(ranges(), kNotInteger);
}

TEST_F(ValidateTest, ReconfigurationPromptsOnlyForANewPort) {
  reconfiguration();
  record_[IDX_SEC_MASTER_PWD] = ConfigEntry{};
  const StdinFrom null_input("/dev/null");
  EXPECT_EQ(ranges(), kPass);
  EXPECT_FALSE(record_[IDX_SEC_MASTER_PWD].value.has_value());
  give(kPort, "7137", CFG_SET | CFG_RSPFILE | CFG_HAS_VALUE);
  EXPECT_EQ(ranges(), msg_id(1328));
}

TEST_F(ValidateTest, RequiredOptionsMayComeFromAnySource) {
  EXPECT_EQ(required(), msg_id(1318));
  EXPECT_EQ(printed_, "ZRNCF1318E   The option -branch is required. \n");
  give(IDX_BRANCH, "b", CFG_CURRENT | CFG_HAS_VALUE);
  EXPECT_EQ(required(), msg_id(1318));
  EXPECT_EQ(printed_, "ZRNCF1318E   The option -suffix is required. \n");
  give(IDX_SUFFIX, "o=x");
  EXPECT_EQ(required(), kPass);
  EXPECT_NE(log_text().find("Required option -suffix was found.\n"), std::string::npos);
}

TEST_F(ValidateTest, OptionWithAValueFlagNeedsItsText) {
  give(IDX_BRANCH, "b");
  give(IDX_SUFFIX, "o=x");
  record_[IDX_CRED_HOLD] = ConfigEntry{kGiven, std::nullopt};
  EXPECT_EQ(required(), msg_id(1332));
  EXPECT_EQ(printed_, "ZRNCF1332E   The option -cred_hold requires a value to be specified. \n");
}

TEST_F(ValidateTest, DriverStopsAtTheFirstFailingStep) {
  give(kThreads, "08");
  vd_msgid_t status = 0;
  testing::internal::CaptureStdout();
  zarncfg_validate(record_, root_.string(), config_option_def, zarncfg_required_options,
                   zarndconf_min_max_requirements, "zarncfg", status);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ZRNCF1318E   The option -branch is required. \n");
  EXPECT_EQ(status, msg_id(1318));
}

TEST(Words, CheckBoolRewritesOrLeavesLowerCased) {
  const struct {
    const char* given;
    int result;
    const char* after;
  } cases[] = {{"TRUE", 1, "on"}, {"t", 1, "on"},   {"1", 1, "on"},       {"On", 1, "on"},       {"F", 1, "off"},
               {"No", 1, "off"},  {"n", 1, "off"},  {"OFF", 1, "off"},    {"Maybe", 0, "maybe"}, {"", 0, ""},
               {"yes ", 0, "yes "}, {"10", 0, "10"}};
  for (const auto& c : cases) {
    std::string value = c.given;
    EXPECT_EQ(zarncfg_check_bool(value), c.result) << c.given;
    EXPECT_EQ(value, c.after) << c.given;
  }
}

TEST(Words, MemberOfSetCountsOnlyTheFirstMembers) {
  const std::span<const std::string_view> all(BREVIK_LEVEL_ITEMS);
  EXPECT_EQ(zarncfg_member_of_set(all, "ALL,Deny"), 1);
  EXPECT_EQ(zarncfg_member_of_set(all.first(2), "permit"), 0);
  EXPECT_EQ(zarncfg_member_of_set(all, ",all"), 0);
}

}  // namespace
