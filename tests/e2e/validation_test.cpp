// Input and validation end to end: how the current files, a response file
// and the command line merge into the written files, how values are
// normalised on their way, and how every refusal of validation leaves the
// host exactly as it was.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "e2e/config_fixture.h"

namespace e2e {
namespace {

constexpr const char* kZarndConf = "/opt/zarn/etc/zarnd.conf";
constexpr const char* kBrevikConf = "/opt/zarn/etc/brevik.conf";
constexpr const char* kRspFile = "/root/answers.rsp";

class ValidationTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    prepare_host(host());
  }
  void TearDown() override {
    sh("/etc/rc.d/init.d/brevik stop >/dev/null 2>&1");
    expect_no_password_left(host());
    HostTest::TearDown();
  }
  std::optional<std::string> value_in(const char* file, const char* stanza, const char* entry) {
    return stanza_value(read_file(file), stanza, entry);
  }
};

// Where one option's value stands in the written files.
struct Written {
  const char* file;
  const char* stanza;
  const char* entry;
  std::optional<std::string> value;
};

void expect_written(TempHost& host, const std::vector<Written>& rows) {
  for (const auto& row : rows) {
    EXPECT_EQ(stanza_value(host.read_file(row.file), row.stanza, row.entry), row.value)
        << row.file << " [" << row.stanza << "] " << row.entry;
  }
}

TEST_F(ValidationTest, LaterSourcesOverrideEarlierOnesInTheWrittenFiles) {
  configure_first(host(), {"-zarnd_logs", "1", "-audit_level", "permit", "-audit_logs", "4", "-cred_hold", "20000",
                           "-refresh_interval", "100", "-dns", "on", "-uid", "on"});
  write_file(kRspFile,
             "[zarnd]\nlogs = 2\n"
             "[audit]\nlevel = deny\n"
             "[zarnauditd]\nlogs = 5\n"
             "[zarnwdd]\nlogs = 6\n"
             "[zarncfg]\ndelete = dns\n");

  const auto r =
      zarncfg({"-rspfile", kRspFile, "-zarnd_logs", "3", "-audit_level", "admin", "-refresh_interval", "300"});

  EXPECT_EQ(r.out, kGatheringHead + kResponseFileLine + kCommandLineLine + kValidatingLine +
                       "Configuring Zarn. \nConfiguring the ZARND daemon. \nConfiguring the ZARNAUDITD daemon. \n"
                       "Configuring the ZARNWDD daemon. \nConfiguring the kernel extensions. \n" +
                       kSuccess)
      << describe(r);
  EXPECT_EQ(r.exit_status, 0);
  // Sources of each value, the last one named wins.
  expect_written(host(), {
                             {kZarndConf, "zarnd", "logs", "3"},        // files, response file, command line
                             {kBrevikConf, "audit", "level", "admin"},  // files, response file, command line
                             {"/opt/zarn/etc/zarnauditd.conf", "zarnauditd", "logs", "5"},  // files, response file
                             {kZarndConf, "policy", "refresh-interval", "300"},             // files, command line
                             {kZarndConf, "credentials", "cred-hold", "20000"},             // files
                             {"/opt/zarn/etc/zarnwdd.conf", "zarnwdd", "logs", "6"},        // response file
                             {kBrevikConf, "cache", "dns", std::nullopt},  // files, deleted by the response file
                             {kBrevikConf, "cache", "uid", "on"},
                             {kBrevikConf, "policy", "branch", "brevik1"},
                             {kZarndConf, "zarncfg", "suffix", "o=zarn"},
                         });
  EXPECT_NE(log_text().find("Deleting option dns. \n"), std::string::npos);
}

// The program works in /var/zarn/zarncfg; relative names are looked up from
// where it was started, and the certificate is used only as its copy.
TEST_F(ValidationTest, RelativeNamesAreFoundInTheStartDirectory) {
  struct Case {
    const char* name;
    std::string rsp;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"cert on the command line",
       "[policy]\nbranch = brevik1\n[zarncfg]\nsuffix = o=zarn\n",
       {"-rspfile", "answers.rsp", "-ldap_ssl_cacert", "ca.pem", "-sec_master_pwd", kPwd}},
      {"cert in the response file",
       "[policy]\nbranch = brevik1\n[zarncfg]\nsuffix = o=zarn\n[ldap]\nssl-certificate = ca.pem\n",
       {"-rs", "answers.rsp", "-sec_master_pwd", kPwd}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempHost fresh;
    prepare_host(fresh);
    fresh.write_file("/home/admin/answers.rsp", c.rsp);
    fresh.write_file("/home/admin/ca.pem", kCertText);

    const auto r = fresh.zarncfg(c.args, in_dir("/home/admin"));

    EXPECT_EQ(r.exit_status, 0) << describe(r);
    EXPECT_TRUE(r.out.starts_with(kGatheringHead + kResponseFileLine + kCommandLineLine + kValidatingLine)) << r.out;
    EXPECT_EQ(fresh.read_file("/var/zarn/certs/ca.pem"), kCertText);
    EXPECT_EQ(fresh.sh("stat -c '%U:%G %a' /var/zarn/certs/ca.pem").out, "root:brevik 660\n");
    const std::string zarnd = fresh.read_file(kZarndConf);
    EXPECT_EQ(zarnd.find("ca.pem"), std::string::npos) << zarnd;
    EXPECT_EQ(stanza_value(zarnd, "zarncfg", "suffix"), "o=zarn");
    EXPECT_NE(fresh.read_file("/var/zarn/run/standins.log").find(" -C /var/zarn/certs/ca.pem "), std::string::npos);
    const std::string log = fresh.log_text();
    EXPECT_NE(log.find("Validating the existence of file ca.pem.\n"), std::string::npos) << log;
    expect_no_password_left(fresh);
  }
}

TEST_F(ValidationTest, ValuesAreWrittenNormalised) {
  write_file(kRspFile, "[authorization]\nwarning = Yes\n[tcb]\ntcb-ignore-ctime = F\n");
  const auto r = zarncfg(first_args(
      {"-rspfile", kRspFile, "-dns", "YES", "-uid", "0", "-audit_level", "Permit,DENY", "-tcb_max_file_size", " 10 "}));
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  expect_written(host(), {
                             {kBrevikConf, "cache", "dns", "on"},
                             {kBrevikConf, "cache", "uid", "off"},
                             {kBrevikConf, "audit", "level", "permit,deny"},
                             {kBrevikConf, "authorization", "warning", "on"},
                             {kZarndConf, "tcb", "tcb-ignore-ctime", "off"},
                             {kZarndConf, "tcb", "max-checksum-file-size", "10"},
                         });
}

TEST_F(ValidationTest, BoundsAreAccepted) {
  const std::string longest_suffix = "o=" + std::string(1021, 's');
  const auto r = zarncfg({"-ldap_ssl_cacert", kCert, "-branch", "brevik1", "-suffix", longest_suffix,
                          "-sec_master_pwd", kPwd, "-ssl_listening_port", "65535", "-cred_hold", "2147483647"});
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  expect_written(host(), {
                             {kZarndConf, "zarncfg", "suffix", longest_suffix},
                             {kZarndConf, "ssl", "ssl-listening-port", "65535"},
                             {kZarndConf, "credentials", "cred-hold", "2147483647"},
                         });
}

// Only values given in this run must be positive numbers; an installed one
// is carried over as it stands.
TEST_F(ValidationTest, InstalledFileSizeIsNotRechecked) {
  configure_first(host(), {"-tcb_max_file_size", "10"});
  const std::string zarnd = read_file(kZarndConf);
  const std::string written = "max-checksum-file-size = 10\n";
  const auto at = zarnd.find(written);
  ASSERT_NE(at, std::string::npos) << zarnd;
  write_file(kZarndConf, zarnd.substr(0, at) + "max-checksum-file-size = 010\n" + zarnd.substr(at + written.size()));

  const auto r = zarncfg({"-zarnd_logs", "9"});

  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(value_in(kZarndConf, "tcb", "max-checksum-file-size"), "010");
}

// How a refused run's host is prepared.
enum class HostState { Fresh, Configured, ZarndRunning, CertAlreadyCopied, NoBrevikGroup };

struct Refusal {
  const char* name;
  HostState host;
  std::vector<std::string> args;
  std::string printed;       // between the progress lines and the closing failure
  std::string rsp = "";      // the response file, given with -rspfile when not empty
  bool validated = true;     // false: the command line is refused before validation
  bool copies_cert = false;  // the copy stays, as it happens before the failing rule
};

std::string integral(const char* option) {
  return std::string("ZRNCF1321E   The option ") + option + " requires an integral value. \n";
}
std::string not_positive(const char* value) {
  return std::string("ZRNCF1301E   The value specified, ") + value + ", must be a positive integer. \n";
}

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.name; }

const char* const kCopiedCert = "/var/zarn/certs/zarn-ca.pem";
const std::string kDaemonsRun =
    "ZRNCF1365E   The Zarn daemons are running. \nIssue the \"rc.brevik stop\" command to stop them,\n"
    "and then re-issue the command.\n";

const std::vector<Refusal>& refusals() {
  static const std::vector<Refusal> rows = {
      {"MissingBranch",
       HostState::Fresh,
       {"-ldap_ssl_cacert", kCert, "-suffix", "o=zarn", "-sec_master_pwd", kPwd},
       "ZRNCF1318E   The option -branch is required. \n"},
      // The parser refuses a missing value first.  Validation's own check for
      // it is out of reach: every source gives at least an empty text.
      {"SuffixWithoutValue",
       HostState::Fresh,
       {"-branch", "brevik1", "-suffix"},
       "ZRNCF1332E   The option -suffix requires a value to be specified. \n",
       "",
       false},
      {"LeadingZero", HostState::Fresh, first_args({"-zarnd_logs", "08"}), integral("-zarnd_logs")},
      {"PlusSign", HostState::Fresh, first_args({"-zarnd_logs", "+8"}), integral("-zarnd_logs")},
      {"LeadingBlank", HostState::Fresh, first_args({"-zarnd_logs", " 8"}), integral("-zarnd_logs")},
      {"TrailingLetter", HostState::Fresh, first_args({"-zarnd_logs", "8x"}), integral("-zarnd_logs")},
      {"EmptyNumber", HostState::Fresh, first_args({"-zarnd_logs", ""}), integral("-zarnd_logs")},
      {"ElevenDigits", HostState::Fresh, first_args({"-zarnd_logs", "12345678901"}), integral("-zarnd_logs")},
      {"LeadingZeroInResponseFile",
       HostState::Configured,
       {"-rspfile", kRspFile},
       integral("-cred_hold"),
       "[credentials]\ncred-hold = 08\n"},
      {"PortAboveRange", HostState::Fresh, first_args({"-ssl_listening_port", "65536"}),
       "ZRNCF1322E   The option -ssl_listening_port needs to be between 0 and 65535 inclusive. \n"},
      {"PortAboveRangeInResponseFile", HostState::Fresh, first_args({"-rspfile", kRspFile}),
       "ZRNCF1322E   The option -ssl_listening_port needs to be between 0 and 65535 inclusive. \n",
       "[ssl]\nssl-listening-port = 65536\n"},
      {"CredHoldZero", HostState::Fresh, first_args({"-cred_hold", "0"}),
       "ZRNCF1322E   The option -cred_hold needs to be between 1 and 2147483647 inclusive. \n"},
      {"SuffixTooLong",
       HostState::Fresh,
       {"-ldap_ssl_cacert", kCert, "-branch", "brevik1", "-suffix", std::string(1024, 's'), "-sec_master_pwd",
        kPwd},
       "ZRNCF1320E   The option -suffix requires a length of 1023 or less. \n"},
      {"WarningMaybe", HostState::Fresh, first_args({"-warning", "maybe"}),
       "ZRNCF1323E   The option -warning requires a value of 'on' or 'off' \n"},
      {"WarningMaybeInResponseFile",
       HostState::Configured,
       {"-rspfile", kRspFile},
       "ZRNCF1323E   The option -warning requires a value of 'on' or 'off' \n",
       "[authorization]\nwarning = maybe\n"},
      {"BlankAfterComma", HostState::Fresh, first_args({"-audit_level", "permit, deny"}),
       "ZRNCF1376E   The value of permit, deny is invalid for the option -audit_level. \n"},
      {"EmptyAuditLevelInResponseFile", HostState::Fresh, first_args({"-rspfile", kRspFile}),
       "ZRNCF1342E    was not a member of the set.\n"
       "ZRNCF1376E   The value of  is invalid for the option -audit_level. \n",
       "[audit]\nlevel =\n"},
      {"MissingCertificate",
       HostState::Fresh,
       {"-ldap_ssl_cacert", "nosuch.pem", "-branch", "brevik1", "-suffix", "o=zarn", "-sec_master_pwd", kPwd},
       "ZRNCF1335E   The file nosuch.pem does not exist. \n"},
      {"SizeWithLeadingZero", HostState::Fresh, first_args({"-tcb_max_file_size", "010"}), not_positive("010")},
      {"SizeZero", HostState::Fresh, first_args({"-tcb_max_file_size", "0"}), not_positive("0")},
      {"SizeWithExponent", HostState::Fresh, first_args({"-tcb_max_file_size", "1e3"}), not_positive("1e3")},
      {"SizeBlank", HostState::Fresh, first_args({"-tcb_max_file_size", " "}), not_positive("")},
      {"OnlyTheFirstInTableOrder", HostState::Fresh, first_args({"-zarnd_logs", "x", "-cred_hold", "0"}),
       "ZRNCF1322E   The option -cred_hold needs to be between 1 and 2147483647 inclusive. \n"},
      {"CredHoldEqualsUserRefresh", HostState::Fresh, first_args({"-cred_hold", "720"}),
       "ZRNCF1302E   The value for cred_hold must be greater than the values \n"
       "of both admin_cred_refresh and user_cred_refresh. \n"},
      {"FirstWithoutCertificate",
       HostState::Fresh,
       {"-branch", "brevik1", "-suffix", "o=zarn", "-sec_master_pwd", kPwd},
       "ZRNCF1363E   The option -ldap_ssl_cacert must be specified during an initial configuration.\n"},
      {"PortChangeWhileZarndRuns",
       HostState::ZarndRunning,
       {"-ssl_listening_port", "7200", "-sec_master_pwd", kPwd},
       kDaemonsRun},
      {"CertChangeWhileZarndRuns", HostState::ZarndRunning, {"-ldap_ssl_cacert", kCert}, kDaemonsRun},
      {"CertIsItsOwnCopy",
       HostState::CertAlreadyCopied,
       {"-ldap_ssl_cacert", kCopiedCert, "-branch", "brevik1", "-suffix", "o=zarn", "-sec_master_pwd", kPwd},
       "ZRNCF1371E   Unable to copy /var/zarn/certs/zarn-ca.pem to /var/zarn/certs/zarn-ca.pem.\n"},
      {"NoneWithPermit", HostState::Fresh, first_args({"-audit_level", "none,permit"}),
       "ZRNCF1379E   The value \"none\" cannot be used with other values.\n", "", true, true},
      {"NoBrevikGroup", HostState::NoBrevikGroup, first_args(),
       "ZRNCF1345E   Group brevik could not be located in the group file. \n", "", true, true},
  };
  return rows;
}

class RefusalTest : public ValidationTest, public ::testing::WithParamInterface<Refusal> {
 protected:
  void prepare(HostState kind) {
    switch (kind) {
      case HostState::Fresh:
        break;
      case HostState::Configured:
        configure_first(host());
        break;
      case HostState::ZarndRunning:
        configure_first(host());
        ASSERT_EQ(sh("/etc/rc.d/init.d/brevik start").exit_status, 0);
        break;
      case HostState::CertAlreadyCopied:
        write_file(kCopiedCert, kCertText);
        break;
      case HostState::NoBrevikGroup:
        ASSERT_EQ(sh("sed -i '/^brevik:/d' /etc/group && ! grep -q '^brevik:' /etc/group").exit_status, 0);
        break;
    }
  }
};

TEST_P(RefusalTest, PrintsTheReasonAndChangesNothing) {
  const Refusal& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(prepare(c.host));
  if (!c.rsp.empty()) write_file(kRspFile, c.rsp);
  const std::string before = configuration_snapshot(host());

  const auto r = zarncfg(c.args);

  EXPECT_EQ(r.out, kGatheringHead + (c.rsp.empty() ? "" : kResponseFileLine) + kCommandLineLine +
                       (c.validated ? kValidatingLine : "") + c.printed + kFailed)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_NE(log_text().find(c.printed.substr(0, c.printed.find('\n') + 1)), std::string::npos);
  if (c.copies_cert) {
    EXPECT_EQ(read_file(kCopiedCert), kCertText);
    sh(std::string("rm ") + kCopiedCert);
  }
  EXPECT_EQ(configuration_snapshot(host()), before);
}

INSTANTIATE_TEST_SUITE_P(EveryRule, RefusalTest, ::testing::ValuesIn(refusals()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
