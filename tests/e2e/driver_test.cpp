// The driver end to end: information requests, the root check, the Varden
// runtime check, logging set-up failures and the backup and restore of the
// configuration files.
#include <sys/stat.h>

#include <string>

#include "e2e/config_fixture.h"

namespace {

using e2e::HostTest;
using e2e::kFailed;

constexpr const char* kUsage =
    "Usage: \n"
    "zarncfg \n"
    "[-admin_cred_refresh <number_of_minutes>] \n"
    "[-audit_level (all | none | permit | deny | loginpermit | logindeny | \n"
    "admin | verbose | info | trace_exec | trace_file)] \n"
    "[-audit_log_entries <number_of_log_entries>] \n"
    "[-audit_logflush <number_of_seconds>] \n"
    "[-audit_logs <number_of_logs>] \n"
    "[-audit_log_size <number_of_bytes>] \n"
    "[-autostart (on | off)] \n"
    "-branch <policy_branch_name> \n"
    "[-cred_hold <number_of_minutes>] \n"
    "[-cred_response_wait <number_of_minutes>] \n"
    "[-critical_cred_group <critical_cred_group_name>] \n"
    "[-critical_cred_refresh <number_of_minutes>] \n"
    "[-delete (comma_delimited_list_of_options)] \n"
    "[-dns (on | off)] \n"
    "[-ffdc_capture (on | off)] \n"
    "[-help] \n"
    "[-kmsg_hnd_threads <number_of_threads>] \n"
    "[-ldap_ssl_cacert <ldap_certificate_file_name>] \n"
    "[-login_policy (on | off)] \n"
    "[-lrd_config (on | off)] \n"
    "[-lrd_log_entries <number_of_log_entries>] \n"
    "[-lrd_logs <number_of_logs>] \n"
    "[-operations] \n"
    "[-zarnd_log_entries <number_of_log_entries>] \n"
    "[-zarnd_logs <number_of_logs>] \n"
    "[-zarnwdd_log_entries <number_of_log_entries>] \n"
    "[-zarnwdd_logs <number_of_logs>] \n"
    "[-refresh_interval <number_of_minutes>] \n"
    "[-rspfile <file_name>] \n"
    "[-sec_master_pwd <security_master_password>] \n"
    "[-ssl_listening_port <port_to_listen_for_notification>] \n"
    "-suffix <varden_suffix> \n"
    "[-tcb_ignore_ctime (on | off)] \n"
    "[-tcb_interval <number_of_seconds>] \n"
    "[-tcb_max_file_size <number_of_megabytes>] \n"
    "[-tcb_monitor_threads <number_of_threads>] \n"
    "[-tcb_nocrc_on_exec (on | off)] \n"
    "[-uid (on | off)] \n"
    "[-usage] \n"
    "[-user_cred_refresh <number_of_minutes>] \n"
    "[-version] \n"
    "[-V] \n"
    "[-warning (on | off)] \n"
    "[-?] \n";

constexpr const char* kExamples =
    "\n"
    "Example: \n"
    "\n"
    "To configure from the command line:\n"
    "zarncfg -ldap_ssl_cacert /tmp/ldapcacert.b64 \\\n"
    "-branch policy_branch_name \\\n"
    "-suffix o=varden \n"
    "\n"
    "\n"
    "To configure from a response file:\n"
    "zarncfg -rspfile /opt/zarn/etc/config.rsp \n"
    "\n"
    "To configure from the command line and a response file:\n"
    "zarncfg -rpsfile /opt/zarn/etc/config.rsp \\\n"
    "-uid off \\\n"
    "-audit_level all \n"
    "\n"
    "NOTE: The values for the options from the command line override\n"
    "the values from the response file.\n"
    "\n"
    "\n";

constexpr const char* kVersionBlock =
    "zarncfg 4.1.0.1 (030512b)\n"
    "Zarn 4.1.0\n";

constexpr const char* kCredHoldHelp = "-cred_hold\n\tDisk hold time of credentials in minutes. \n";

class DriverTest : public HostTest {
 protected:
  struct stat stat_of(std::string_view in_host) {
    struct stat info {};
    EXPECT_EQ(lstat(path(in_host).c_str(), &info), 0) << in_host;
    return info;
  }
};

TEST_F(DriverTest, NoArgumentsPrintsUsageAndExamples) {
  const auto result = zarncfg({});
  EXPECT_EQ(result.exit_status, 0) << e2e::describe(result);
  EXPECT_EQ(result.out, std::string(kUsage) + kExamples);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(log_text().find("ZRNCF0021E"), std::string::npos);
}

TEST_F(DriverTest, UsageWordsAndAbbreviations) {
  for (const char* word : {"-?", "-u", "-usag", "-usage"}) {
    const auto result = zarncfg({word});
    EXPECT_EQ(result.exit_status, 0) << word;
    EXPECT_EQ(result.out, std::string(kUsage) + kExamples) << word;
  }
}

TEST_F(DriverTest, VersionPrintsNameVersionReleaseAndBanner) {
  for (const char* word : {"-v", "-V", "-vers", "-version"}) {
    const auto result = zarncfg({word});
    EXPECT_EQ(result.exit_status, 0) << word;
    ASSERT_EQ(result.out.rfind(kVersionBlock, 0), 0u) << result.out;
    EXPECT_NE(result.out.find("Copyright"), std::string::npos);
    EXPECT_EQ(result.out.back(), '\n');
  }
}

TEST_F(DriverTest, OperationsListsTheOptionsThreeToALine) {
  const auto result = zarncfg({"-ope"});
  EXPECT_EQ(result.exit_status, 0);
  const std::string first_line =
      "-admin_cred_refresh  -audit_level         -audit_log_entries   \n";
  ASSERT_EQ(result.out.rfind(first_line, 0), 0u) << result.out;
  EXPECT_NE(result.out.find("\n-user_cred_refresh   -version             -V                   \n-warning             -?                   \n"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 15);
}

TEST_F(DriverTest, HelpSelections) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"-help", "-cred_h"}, std::string(kCredHoldHelp) + "\n"},
      {{"-help", "-cred_hXYZ"}, std::string(kCredHoldHelp) + "\n"},
      {{"-help", "-cred_hold", "-suffix"}, std::string(kCredHoldHelp) + "-suffix\n\tVarden Policy Server suffix.\n\n"},
      {{"-h", "-V"}, "-help\n\tDisplays help for each of the options.\n-V\n\tDisplays the version.\n\n"},
      {{"-h", "-suffix"}, "-help\n\tDisplays help for each of the options.\n-suffix\n\tVarden Policy Server suffix.\n\n"},
      {{"-suffix", "o=x", "-h", "-cred_h"},
       "-suffix\n\tVarden Policy Server suffix.\n-help\n\tDisplays help for each of the options.\n" +
           std::string(kCredHoldHelp) + "\n"},
  };
  for (const auto& c : cases) {
    const auto result = zarncfg(c.args);
    EXPECT_EQ(result.exit_status, 0) << c.args[0];
    EXPECT_EQ(result.out, c.out) << c.args[0] << " " << c.args[1];
  }
}

TEST_F(DriverTest, HelpAloneShowsEveryOption) {
  const auto result = zarncfg({"-hel"});
  EXPECT_EQ(result.exit_status, 0);
  ASSERT_EQ(result.out.rfind("-admin_cred_refresh\n\tRefresh interval of administrators' credentials in minutes.\n", 0), 0u);
  EXPECT_NE(result.out.find("-?\n\tDisplays help on the command's usage.\n\n"), std::string::npos);
}

TEST_F(DriverTest, RequestWordInOptionValuePositionStillWins) {
  const auto result = zarncfg({"-suffix", "o=x", "-v"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out.rfind(kVersionBlock, 0), 0u);
}

TEST_F(DriverTest, NonRootUserIsRefusedEvenForHelp) {
  write_file("/opt/zarn/etc/zarnd.conf.bak", "[zarncfg]\nstate = on\n");
  const auto result = zarncfg({"-help"}, e2e::as_user("brevik"));
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.out, std::string("ZRNCF1338E   This command must be run by the root user. \n") + kFailed);
  // A backup of an earlier run is never restored by a run that took none.
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnd.conf"));
  EXPECT_TRUE(host().exists("/opt/zarn/etc/zarnd.conf.bak"));
}

TEST_F(DriverTest, HelpWorksWithoutTheWorkingDirectory) {
  std::filesystem::remove_all(path("/var/zarn/zarncfg"));
  const auto result = zarncfg({"-help", "-cred_h"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, std::string(kCredHoldHelp) + "\n");
}

TEST_F(DriverTest, MissingWorkingDirectoryFailsAConfiguration) {
  std::filesystem::remove_all(path("/var/zarn/zarncfg"));
  const auto result = zarncfg({"-branch", "b"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.out, std::string("ZRNCF1324E   Setting the working directory to /var/zarn/zarncfg failed. \n") + kFailed);
}

TEST_F(DriverTest, UnconfiguredRuntimeRestoresTheBackups) {
  write_file("/opt/Varden/etc/vd.conf", "[vdrte]\nconfigured = Yes\n");
  write_file("/opt/zarn/etc/zarnd.conf", "# kept\n[zarncfg]\nsuffix = o=x\n", 0640);
  ASSERT_EQ(chown(path("/opt/zarn/etc/zarnd.conf").c_str(), 301, 301), 0);
  const auto result = zarncfg({"-branch", "b"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.out,
            std::string("ZRNCF1362E   Varden Runtime has not been properly configured.\n"
                        "Configuration values in vd.conf have not been set.\n") +
                kFailed);
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnd.conf"), "# kept\n[zarncfg]\nsuffix = o=x\n");
  const struct stat info = stat_of("/opt/zarn/etc/zarnd.conf");
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(info.st_uid, 301u);
  EXPECT_EQ(info.st_gid, 301u);
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnd.conf.bak"));
  const std::string log = log_text();
  EXPECT_NE(log.find("has begun."), std::string::npos);
  EXPECT_NE(log.find("ZRNCF1362E"), std::string::npos);
  EXPECT_NE(log.find("ZRNCF0021E"), std::string::npos);
  EXPECT_NE(log.find("=============================\n\n"), std::string::npos);
}

TEST_F(DriverTest, RuntimeMarkerOrValueBeginningWithYesCounts) {
  for (const char* value : {"yes", "yesterday"}) {
    write_file("/opt/Varden/etc/vd.conf", std::string("[vdrte]\nconfigured = ") + value + "\n");
    const auto result = zarncfg({"-branch", "b"});
    EXPECT_EQ(result.out.find("ZRNCF1362E"), std::string::npos) << value << result.out;
  }
  write_file("/opt/Varden/etc/vd.conf", "[vdrte]\nconfigured = no\n");
  write_file("/opt/Varden/.configure/VDRTE-VD", "");
  EXPECT_EQ(zarncfg({"-branch", "b"}).out.find("ZRNCF1362E"), std::string::npos);
}

TEST_F(DriverTest, MissingLogDirectoryReportsOnlyTheRoutingFailure) {
  write_file("/opt/zarn/etc/brevik.conf", "[policy]\nbranch = b\n");
  write_file("/opt/zarn/etc/brevik.conf.bak", "[policy]\nbranch = old\n");
  std::filesystem::remove_all(path("/var/zarn/log"));
  const auto result = zarncfg({"-branch", "b"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "zarncfg: Could not initialize log message routing: 899678211.\n");
  EXPECT_EQ(read_file("/opt/zarn/etc/brevik.conf"), "[policy]\nbranch = b\n");
  EXPECT_EQ(read_file("/opt/zarn/etc/brevik.conf.bak"), "[policy]\nbranch = old\n");
}

TEST_F(DriverTest, LogRecordsTheRunWithHeaders) {
  zarncfg({"-help", "-suffix"});
  const std::string raw = read_file("/var/zarn/log/msg__zarncfg.log");
  EXPECT_NE(raw.find(" NOTICE ocf.zarncfg_util zarncfg_main.cpp:"), std::string::npos) << raw;
  EXPECT_NE(raw.find("\n\n/opt/zarn/bin/zarncfg has begun.\n"), std::string::npos) << raw;
  EXPECT_NE(raw.find("Entering function zarncfg_request_usage.\n"), std::string::npos);
  EXPECT_NE(raw.find("Exiting function zarncfg_request_usage.\n"), std::string::npos);
}

}  // namespace
