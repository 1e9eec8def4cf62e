// End to end: zarncfg configures a simulated host, with the stand-ins of
// hostsim/standins for the external tools and a real policy store.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "e2e/host_fixture.h"

namespace e2e {
namespace {

constexpr const char* kPwd = "Secr3tMaster";
constexpr const char* kCert = "/etc/ssl/zarn-ca.pem";
constexpr const char* kHost = "zarnhost";

// Small policy files with a known number of commands, so that the progress
// dots are known; the machine file needs this host's registration.
constexpr const char* kOnceOnly = "objectspace create /BREVIK \"Zarn product\" 14\nacl create brevik-admin\n";
constexpr const char* kPerPolicy = "# branch\nobjectspace create /BREVIK/%POLICY% \"Zarn branch\" 14\n";
constexpr const char* kPerMachine =
    "group create brevik-hosts-%POLICY% cn=hosts hosts\ngroup modify brevik-hosts-%POLICY% add %VDUSERNAME%\n";

const std::vector<std::string> kStartLinks = {
    "/etc/rc.d/rc2.d/S87kbrevik", "/etc/rc.d/rc3.d/S87kbrevik", "/etc/rc.d/rc4.d/S87kbrevik",
    "/etc/rc.d/rc5.d/S87kbrevik", "/etc/rc.d/rc2.d/S88brevik",  "/etc/rc.d/rc3.d/S88brevik",
    "/etc/rc.d/rc4.d/S88brevik",  "/etc/rc.d/rc5.d/S88brevik"};
const std::vector<std::string> kStopLinks = {"/etc/rc.d/rc0.d/K13kbrevik", "/etc/rc.d/rc1.d/K13kbrevik",
                                             "/etc/rc.d/rc6.d/K13kbrevik", "/etc/rc.d/rc0.d/K12brevik",
                                             "/etc/rc.d/rc1.d/K12brevik",  "/etc/rc.d/rc6.d/K12brevik"};

const std::string kFirstRunHead =
    "Gathering information. \n"
    "Processing the current configuration files. \n"
    "Processing the command line. \n"
    "Validating the information. \n"
    "Configuring Zarn. \n"
    "Configuring the ZARND daemon. \n"
    "Initializing the Varden Policy Server context. \n"
    "Registering with Varden Policy Server. This may take a few minutes. \n";
const std::string kPolicyLoad =
    "Registering the Zarn product policy. \n..\n"
    "Registering the policy-specific policy information. \n.\n"
    "Registering the machine-specific policy information. \n..\n";
const std::string kTcb = "Initializing the ZARND daemon's Trusted Computing Base.\n";
const std::string kOtherDaemons =
    "Configuring the ZARNAUDITD daemon. \n"
    "Configuring the ZARNWDD daemon. \n"
    "Configuring the kernel extensions. \n";
const std::string kSuccess = "The configuration process completed successfully. \n";
const std::string kFailed =
    "ZRNCF0021E   The configuration process did not complete successfully. \n"
    "See /var/zarn/log/msg__zarncfg.log for details.\n";
const std::string kReconfigHead =
    "Gathering information. \n"
    "Processing the current configuration files. \n"
    "Processing the command line. \n"
    "Validating the information. \n"
    "Configuring Zarn. \n"
    "Configuring the ZARND daemon. \n";

// The value of one entry of a stanza file ("[stanza]" headers, "entry = value" lines).
std::optional<std::string> stanza_value(const std::string& text, std::string_view stanza, std::string_view entry) {
  std::istringstream in(text);
  std::string line, current;
  auto trim = [](std::string s) {
    s.erase(0, s.find_first_not_of(" \t"));
    s.erase(s.find_last_not_of(" \t") + 1);
    return s;
  };
  while (std::getline(in, line)) {
    line = trim(line);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      current = trim(line.substr(1, line.size() - 2));
    } else if (const auto eq = line.find('='); current == stanza && eq != std::string::npos) {
      if (trim(line.substr(0, eq)) == entry) return trim(line.substr(eq + 1));
    }
  }
  return std::nullopt;
}

class ConfigTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    const auto init = sh(std::string("/opt/Varden/bin/kxadmin init --sec-master-pwd ") + kPwd);
    ASSERT_EQ(init.exit_status, 0) << describe(init);
    write_file("/opt/zarn/etc/brevik.once-only", kOnceOnly);
    write_file("/opt/zarn/etc/brevik.per-policy", kPerPolicy);
    write_file("/opt/zarn/etc/brevik.per-machine", kPerMachine);
    sh("rm -f /opt/zarn/etc/brevik.once-only.u3800 /opt/zarn/etc/brevik.once-only.u4100");
    write_file(kCert, "-----BEGIN CERTIFICATE-----\nZARN TEST CA\n-----END CERTIFICATE-----\n");
  }

  void TearDown() override {
    sh("/etc/rc.d/init.d/brevik stop >/dev/null 2>&1");
    expect_no_password_left();
    HostTest::TearDown();
  }

  void expect_no_password_left() {
    const auto found = sh(std::string("grep -rl -- '") + kPwd + "' /var/zarn/log /tmp /var/zarn/zarncfg /opt/zarn/etc");
    EXPECT_EQ(found.out, "") << describe(found);
    // Password files of registration never outlive their command.
    const auto leftovers = sh("ls /opt/zarn/etc | grep -E '^[A-Za-z0-9]{6}$'");
    EXPECT_EQ(leftovers.out, "") << describe(leftovers);
  }

  std::vector<std::string> first_args(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"-ldap_ssl_cacert", kCert, "-branch", "brevik1", "-suffix", "o=zarn",
                                     "-sec_master_pwd", kPwd};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }

  void configure_first(std::vector<std::string> extra = {}) {
    const auto r = zarncfg(first_args(std::move(extra)));
    ASSERT_EQ(r.exit_status, 0) << describe(r);
    sh("rm -f /var/zarn/run/standins.log");
  }

  std::string invocations() { return host().exists("/var/zarn/run/standins.log") ? read_file("/var/zarn/run/standins.log") : ""; }
  std::string file_or_empty(std::string_view p) { return host().exists(p) ? read_file(p) : ""; }
  void fail_tool(const std::string& name, const std::string& code = "7") { write_file("/var/zarn/run/fail." + name, code); }

  std::string link_target(const std::string& link) {
    std::error_code ec;
    const auto target = std::filesystem::read_symlink(path(link), ec);
    return ec ? "" : target.string();
  }
  int count_links(const std::vector<std::string>& links) {
    return static_cast<int>(std::count_if(links.begin(), links.end(), [&](const std::string& l) {
      return !link_target(l).empty();
    }));
  }
  std::string store_users() { return sh("/opt/Varden/bin/kxadmin user list 'zarnd/*'").out; }
  mode_t mode_of(std::string_view p) {
    struct stat st {};
    return ::stat(path(p).c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
  }
  std::string owner_of(std::string_view p) { return sh("stat -c %U:%G " + std::string(p)).out; }
};

TEST_F(ConfigTest, FirstConfiguration) {
  const auto r = zarncfg(first_args());

  EXPECT_EQ(r.out, kFirstRunHead + kPolicyLoad + kTcb + kOtherDaemons + kSuccess) << describe(r);
  EXPECT_EQ(r.exit_status, 0);

  const std::string brevik = read_file("/opt/zarn/etc/brevik.conf");
  EXPECT_EQ(stanza_value(brevik, "policy", "branch"), "brevik1");
  const std::string zarnd = read_file("/opt/zarn/etc/zarnd.conf");
  EXPECT_EQ(stanza_value(zarnd, "zarncfg", "suffix"), "o=zarn");
  EXPECT_EQ(stanza_value(zarnd, "zarncfg", "state"), "on");
  EXPECT_EQ(stanza_value(zarnd, "zarncfg", "autostart"), "on");
  EXPECT_EQ(stanza_value(zarnd, "zarncfg", "login-policy"), "on");
  EXPECT_EQ(stanza_value(zarnd, "ssl", "ssl-listening-port"), "7134");
  EXPECT_EQ(stanza_value(zarnd, "ldap", "ssl-enabled"), "yes");
  EXPECT_EQ(stanza_value(zarnd, "ldap", "ssl-certificate"), std::nullopt);
  EXPECT_EQ(stanza_value(zarnd, "zarncfg", "sec-master-pwd"), std::nullopt);

  EXPECT_EQ(store_users(), std::string("zarnd/") + kHost + "\n");
  for (const char* key : {"/var/zarn/certs/zarnd.kdb", "/var/zarn/certs/zarnd.sth"}) {
    EXPECT_EQ(owner_of(key), "root:brevik\n") << key;
    EXPECT_EQ(mode_of(key), 0660u) << key;
  }
  const std::string kdb = read_file("/var/zarn/certs/zarnd.kdb");
  EXPECT_NE(kdb.find("port=7134\n"), std::string::npos) << kdb;
  EXPECT_NE(kdb.find("listening=yes\n"), std::string::npos) << kdb;

  EXPECT_EQ(count_links(kStartLinks), 8);
  EXPECT_EQ(count_links(kStopLinks), 6);
  EXPECT_EQ(link_target("/etc/rc.d/rc3.d/S88brevik"), "/etc/rc.d/init.d/brevik");
  EXPECT_EQ(link_target("/etc/rc.d/rc0.d/K13kbrevik"), "/etc/rc.d/init.d/kbrevik");

  EXPECT_EQ(read_file("/var/zarn/run/login-policy"), "on\n");
  EXPECT_EQ(read_file("/var/zarn/run/zarnd.tcb"), "tcb initialised\n");
  EXPECT_EQ(read_file("/var/zarn/run/zarnevcd.autostart"), "off\n");
  const std::string runs = invocations();
  EXPECT_EQ(std::count(runs.begin(), runs.end(), '\n'), 4) << runs;
  EXPECT_NE(runs.find("/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -config -d /var/zarn/certs -n zarnd "
                      "-s local -r 7134 -C /var/zarn/certs/zarn-ca.pem -l yes\n"),
            std::string::npos)
      << runs;
  EXPECT_NE(runs.find(std::string("/opt/zarn/bin/zarnevccfg -autostart off -sec_master_pwd ") + kPwd + "\n"),
            std::string::npos);

  const std::string log = log_text();
  EXPECT_NE(log.find("/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -config -d /var/zarn/certs -n zarnd "
                     "-s local -P ******** -S ******** -r 7134 -C /var/zarn/certs/zarn-ca.pem -l yes"),
            std::string::npos);
  EXPECT_EQ(log.find("/bin/cat "), std::string::npos);
}

TEST_F(ConfigTest, FirstConfigurationWithRuntime37EndsTheRegistrationLineWithABlank) {
  hostsim::HostOptions options;
  options.vdrte_version = "3.7.0";
  TempHost v37(options);
  ASSERT_EQ(v37.sh(std::string("/opt/Varden/bin/kxadmin init --sec-master-pwd ") + kPwd).exit_status, 0);
  for (const char* f : {"/opt/zarn/etc/brevik.once-only", "/opt/zarn/etc/brevik.per-policy",
                        "/opt/zarn/etc/brevik.per-machine"}) {
    v37.write_file(f, std::string_view(f).ends_with("only") ? kOnceOnly
                      : std::string_view(f).ends_with("policy") ? kPerPolicy
                                                                 : kPerMachine);
  }
  v37.sh("rm -f /opt/zarn/etc/brevik.once-only.u*");
  v37.write_file(kCert, "CA\n");
  const auto r = v37.zarncfg(first_args());
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  const std::string runs = v37.read_file("/var/zarn/run/standins.log");
  EXPECT_NE(runs.find("/opt/Varden/bin/certbind /opt/zarn/etc/zarnd.conf -config -d /var/zarn/certs -n zarnd "
                      "-s local -r 7134 -C /var/zarn/certs/zarn-ca.pem\n"),
            std::string::npos)
      << runs;
  // The shell drops the empty listening argument; the logged command keeps its blank.
  EXPECT_NE(v37.log_text().find("Running command /opt/Varden/bin/certbind /opt/zarn/etc/zarnd.conf -config -d "
                                "/var/zarn/certs -n zarnd -s local -P ******** -S ******** -r 7134 -C "
                                "/var/zarn/certs/zarn-ca.pem . \n"),
            std::string::npos)
      << v37.log_text();
}

TEST_F(ConfigTest, ReconfigurationChangingOnlyZarndLogs) {
  configure_first();
  write_file("/var/zarn/log/msg__zarnd.log", "daemon log\n");
  const std::string brevik_before = read_file("/opt/zarn/etc/brevik.conf");

  const auto r = zarncfg({"-zarnd_logs", "9"});

  EXPECT_EQ(r.out, kReconfigHead + kOtherDaemons + kSuccess) << describe(r);
  EXPECT_EQ(r.exit_status, 0);
  const std::string zarnd = read_file("/opt/zarn/etc/zarnd.conf");
  EXPECT_EQ(stanza_value(zarnd, "zarnd", "logs"), "9");
  EXPECT_EQ(stanza_value(zarnd, "zarncfg", "state"), "on");
  EXPECT_EQ(read_file("/opt/zarn/etc/brevik.conf"), brevik_before);
  EXPECT_EQ(invocations(), "/opt/zarn/bin/zarnlpadm -c on\n");
  EXPECT_TRUE(host().exists("/var/zarn/log/msg__zarnd.log"));
  EXPECT_FALSE(host().exists("/var/zarn/log/msg__zarnd.log.bak"));
  EXPECT_EQ(store_users(), std::string("zarnd/") + kHost + "\n");
  EXPECT_NE(log_text().find("The configuration process has been run previously.\n"), std::string::npos);
}

TEST_F(ConfigTest, ListeningPortChangeWithDaemonsStopped) {
  configure_first();

  const auto r = zarncfg({"-ssl_listening_port", "7200", "-sec_master_pwd", kPwd});

  EXPECT_EQ(r.out, kReconfigHead + "Updating the ssl_listening_port. \n" + kOtherDaemons + kSuccess) << describe(r);
  EXPECT_EQ(invocations(),
            "/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -chgport -r 7200\n/opt/zarn/bin/zarnlpadm -c on\n");
  EXPECT_NE(read_file("/var/zarn/certs/zarnd.kdb").find("port=7200\n"), std::string::npos);
  EXPECT_EQ(stanza_value(read_file("/opt/zarn/etc/zarnd.conf"), "ssl", "ssl-listening-port"), "7200");
  EXPECT_NE(log_text().find("/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -chgport  -P ******** -r 7200"),
            std::string::npos);
}

TEST_F(ConfigTest, ListeningPortChangeWhileZarndRuns) {
  configure_first();
  ASSERT_EQ(sh("/etc/rc.d/init.d/brevik start && rm /var/zarn/run/standins.log").exit_status, 0);
  const std::string zarnd_before = read_file("/opt/zarn/etc/zarnd.conf");

  const auto r = zarncfg({"-ssl_listening_port", "7200", "-sec_master_pwd", kPwd});

  EXPECT_EQ(r.out, std::string("Gathering information. \nProcessing the current configuration files. \n"
                               "Processing the command line. \nValidating the information. \n"
                               "ZRNCF1365E   The Zarn daemons are running. \nIssue the \"rc.brevik stop\" command "
                               "to stop them,\nand then re-issue the command.\n") +
                       kFailed)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnd.conf"), zarnd_before);
  EXPECT_EQ(invocations(), "");
}

TEST_F(ConfigTest, DeleteRemovesEntries) {
  configure_first({"-dns", "on", "-uid", "off"});
  ASSERT_EQ(stanza_value(read_file("/opt/zarn/etc/brevik.conf"), "cache", "dns"), "on");

  const auto r = zarncfg({"-delete", "dns,uid"});

  EXPECT_EQ(r.exit_status, 0) << describe(r);
  const std::string brevik = read_file("/opt/zarn/etc/brevik.conf");
  EXPECT_EQ(stanza_value(brevik, "cache", "dns"), std::nullopt);
  EXPECT_EQ(stanza_value(brevik, "cache", "uid"), std::nullopt);
  EXPECT_EQ(stanza_value(brevik, "policy", "branch"), "brevik1");
  const std::string log = log_text();
  EXPECT_NE(log.find("Deleted dns successfully.\n"), std::string::npos);
  EXPECT_NE(log.find("Deleted uid successfully.\n"), std::string::npos);
}

TEST_F(ConfigTest, AutostartOffOnFirstConfiguration) {
  sh("ln -s /etc/rc.d/init.d/brevik /etc/rc.d/rc3.d/S88brevik");
  const auto r = zarncfg(first_args({"-autostart", "off"}));
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(count_links(kStopLinks), 6);
  EXPECT_EQ(count_links(kStartLinks), 1);  // an earlier one stays as it was
  EXPECT_EQ(stanza_value(read_file("/opt/zarn/etc/zarnd.conf"), "zarncfg", "autostart"), "off");
}

TEST_F(ConfigTest, AutostartOffOnReconfiguration) {
  configure_first();
  const auto r = zarncfg({"-autostart", "off"});
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(count_links(kStartLinks), 0);
  EXPECT_EQ(count_links(kStopLinks), 6);
  // The value now in force keeps the links away on the next run too.
  ASSERT_EQ(zarncfg({"-zarnd_logs", "3"}).exit_status, 0);
  EXPECT_EQ(count_links(kStartLinks), 0);
}

TEST_F(ConfigTest, LogRouterOnOffAndAgain) {
  configure_first();
  write_file("/opt/zarn/etc/zarnlrd.xml", "<old/>\n");
  const std::string tmpl = read_file("/opt/zarn/etc/zarnlrd.xml.template");

  auto r = zarncfg({"-lrd_config", "on", "-sec_master_pwd", kPwd});
  EXPECT_EQ(r.out, "Gathering information. \nProcessing the current configuration files. \n"
                   "Processing the command line. \nValidating the information. \nConfiguring Zarn. \n"
                   "Configuring the ZARNLRD daemon.\nConfiguring the ZARND daemon. \n" +
                       kOtherDaemons + kSuccess)
      << describe(r);
  EXPECT_EQ(stanza_value(read_file("/opt/zarn/etc/zarnlrd.conf"), "zarnlrd", "state"), "on");
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnlrd.xml"), tmpl);
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnlrd.xml.bak"), "<old/>\n");
  EXPECT_TRUE(host().exists("/var/zarn/certs/zarnlrd.kdb"));
  EXPECT_EQ(sh("/opt/Varden/bin/kxadmin user list 'zarnlrd/*'").out, std::string("zarnlrd/") + kHost + "\n");
  EXPECT_NE(invocations().find(std::string("/opt/Varden/bin/certbind -config -f /opt/zarn/etc/zarnlrd.conf "
                                           "-d /var/zarn/certs -n zarnlrd -s remote -P ") +
                               kPwd + " -S - -r 7777\n"),
            std::string::npos);
  EXPECT_EQ(log_text().find("-n zarnlrd"), std::string::npos);

  r = zarncfg({"-lrd_config", "on", "-sec_master_pwd", kPwd});
  EXPECT_NE(r.out.find("ZARNLRD has already been configured.\n"), std::string::npos) << describe(r);

  sh("rm -f /var/zarn/run/standins.log");
  r = zarncfg({"-lrd_config", "off", "-sec_master_pwd", kPwd});
  EXPECT_NE(r.out.find("Unconfiguring the ZARNLRD daemon.\n"), std::string::npos) << describe(r);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnlrd.conf"));
  EXPECT_FALSE(host().exists("/var/zarn/certs/zarnlrd.kdb"));
  EXPECT_EQ(sh("/opt/Varden/bin/kxadmin user list 'zarnlrd/*'").out, "");
  EXPECT_NE(invocations().find(std::string("/opt/Varden/bin/certbind -unconfig -f /opt/zarn/etc/zarnlrd.conf "
                                           "-n zarnlrd -P ") + kPwd + "\n"),
            std::string::npos);
}

TEST_F(ConfigTest, LogRouterOffWithLogsRewritesThenUnconfigures) {
  configure_first();
  ASSERT_EQ(zarncfg({"-lrd_config", "on", "-sec_master_pwd", kPwd}).exit_status, 0);
  const auto r = zarncfg({"-lrd_config", "off", "-lrd_logs", "4", "-sec_master_pwd", kPwd});
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  const auto at_already = r.out.find("ZARNLRD has already been configured.\n");
  const auto at_unconfig = r.out.find("Unconfiguring the ZARNLRD daemon.\n");
  ASSERT_NE(at_already, std::string::npos) << r.out;
  EXPECT_GT(at_unconfig, at_already);
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnlrd.conf"));
}

TEST_F(ConfigTest, LogRouterValueOnWithCapitalDoesNothing) {
  configure_first();
  const auto r = zarncfg({"-lrd_config", "On", "-sec_master_pwd", kPwd});
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(r.out.find("ZARNLRD"), std::string::npos) << r.out;
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnlrd.conf"));
  EXPECT_EQ(invocations().find("certbind"), std::string::npos);
}

TEST_F(ConfigTest, PlantedLinkAtTheToolOutputIsNotWrittenThrough) {
  configure_first();
  write_file("/etc/victim", "precious\n");
  sh("ln -s /etc/victim /tmp/.zarn_config");
  fail_tool("certbind-config", "2");  // the tool's complaint would go to the output file

  const auto r = zarncfg({"-lrd_config", "on", "-sec_master_pwd", kPwd});

  EXPECT_EQ(r.exit_status, 1) << describe(r);
  EXPECT_NE(r.out.find("ZRNCF1391E   The configuration of the ZARNLRD daemon failed.\n"), std::string::npos);
  EXPECT_EQ(read_file("/etc/victim"), "precious\n");
  EXPECT_EQ(link_target("/tmp/.zarn_config"), "/etc/victim");
}

TEST_F(ConfigTest, RegistrationFailureOnFirstConfigurationUnregisters) {
  fail_tool("certbind-config");
  const auto r = zarncfg(first_args());

  EXPECT_EQ(r.out, kFirstRunHead + "ZRNCF1304E   Registering with Varden Policy Server failed with error code 7.\n" +
                       "Unregistering Varden Policy Server and policy-specific information.\n" + "\n" +
                       "Unregistering with Varden Policy Server. \n" +
                       "ZRNCF1366E   Unregistering with Varden Policy Server failed with error code 4.\n" + kFailed)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_TRUE(host().exists("/opt/zarn/etc/zarnd.conf.partial"));
  EXPECT_TRUE(host().exists("/opt/zarn/etc/brevik.conf.partial"));
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnd.conf"));
  EXPECT_NE(invocations().find("/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -unconfig -n zarnd\n"),
            std::string::npos);
  EXPECT_EQ(store_users(), "");
}

TEST_F(ConfigTest, TrustedComputingBaseFailureUnregistersAndRestores) {
  write_file("/opt/zarn/etc/zarnauditd.conf", "[zarnauditd]\nlogs = 5\n");
  fail_tool("zarnd-T", "3");
  const auto r = zarncfg(first_args());

  EXPECT_EQ(r.out, kFirstRunHead + kPolicyLoad + kTcb + "ZRNCF1327E   The ZARND daemon failed with error code 3.\n" +
                       "Unregistering Varden Policy Server and policy-specific information.\n" + ".....\n" +
                       "Unregistering with Varden Policy Server. \n" + kFailed)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(store_users(), "");
  EXPECT_FALSE(host().exists("/var/zarn/certs/zarnd.kdb"));
  EXPECT_TRUE(host().exists("/opt/zarn/etc/zarnd.conf.partial"));
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnauditd.conf"), "[zarnauditd]\nlogs = 5\n");
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnauditd.conf.bak"));
  EXPECT_EQ(sh("/opt/Varden/bin/kxadmin objectspace list").out, "");
}

TEST_F(ConfigTest, MissingKernelScriptFailsAtTheLinks) {
  sh("rm /etc/rc.d/init.d/kbrevik");
  const auto r = zarncfg(first_args());
  EXPECT_EQ(r.exit_status, 1) << describe(r);
  EXPECT_NE(r.out.find(kOtherDaemons +
                       "ZRNCF1311E   The soft link to /etc/rc.d/init.d/kbrevik could not be created because it does "
                       "not exist. \n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(count_links(kStopLinks), 3);
  EXPECT_EQ(count_links(kStartLinks), 0);
  EXPECT_TRUE(host().exists("/opt/zarn/etc/brevik.conf.partial"));
  EXPECT_EQ(store_users(), "");
}

TEST_F(ConfigTest, LoginPolicyToolFailure) {
  fail_tool("zarnlpadm");
  const auto r = zarncfg(first_args());
  EXPECT_EQ(r.exit_status, 1) << describe(r);
  EXPECT_NE(r.out.find("ZRNCF1369E   The zarnlpadm process did not complete successfully.\n"), std::string::npos);
  EXPECT_EQ(store_users(), "");
  EXPECT_EQ(stanza_value(file_or_empty("/opt/zarn/etc/zarnd.conf.partial"), "zarncfg", "state"), std::nullopt);
}

TEST_F(ConfigTest, FailedReconfigurationRestoresTheBackups) {
  configure_first();
  const std::string zarnd_before = read_file("/opt/zarn/etc/zarnd.conf");
  fail_tool("zarnlpadm");
  const auto r = zarncfg({"-zarnd_logs", "9"});
  EXPECT_EQ(r.exit_status, 1) << describe(r);
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnd.conf"), zarnd_before);
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnd.conf.partial"));
  EXPECT_EQ(store_users(), std::string("zarnd/") + kHost + "\n");
}

TEST_F(ConfigTest, LongCertificatePathWorks) {
  std::string dir = "/etc/ssl";
  while (dir.size() < 1980) dir += "/" + std::string(200, 'c');
  sh("mkdir -p " + dir);
  const std::string cert = dir + "/long-ca.pem";
  write_file(cert, "CA\n");
  ASSERT_GE(cert.size(), 2000u);
  std::vector<std::string> args = first_args();
  args[1] = cert;
  const auto r = zarncfg(args);
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(store_users(), std::string("zarnd/") + kHost + "\n");
}

}  // namespace
}  // namespace e2e
