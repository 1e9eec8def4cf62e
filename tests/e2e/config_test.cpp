// End to end: zarncfg configures a simulated host, with the stand-ins of
// hostsim/standins for the external tools and a real policy store.
#include "e2e/config_fixture.h"

namespace e2e {
namespace {

const std::string kZarndConf =
    "[zarncfg]\nsuffix = o=zarn\nautostart = on\nlogin-policy = on\nstate = on\n\n"
    "[ldap]\nssl-enabled = yes\nldap-server-config = /opt/Varden/lib/ldap.conf\n\n"
    "[ssl]\nssl-listening-port = 7134\n";
const std::string kBrevikConf = "[policy]\nbranch = brevik1\n\n[ffdc]\ncapture = on\n";
const std::string kRegisterCommand =
    "/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -config -d /var/zarn/certs -n zarnd -s local -r 7134 "
    "-C /var/zarn/certs/zarn-ca.pem -l yes\n";

TEST_F(ConfigTest, FirstConfiguration) {
  const std::string ca = read_file(kCert);
  const auto r = zarncfg(first_args());

  EXPECT_EQ(r.out, kFirstRunHead + kPolicyLoad + kTcb + kOtherDaemons + kSuccess) << describe(r);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exit_status, 0);

  // Only what this run set: the options given and the six defaults.
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnd.conf"), kZarndConf);
  EXPECT_EQ(read_file("/opt/zarn/etc/brevik.conf"), kBrevikConf);
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnauditd.conf"), "");
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnwdd.conf"), "");
  EXPECT_FALSE(host().exists("/opt/zarn/etc/zarnlrd.conf"));
  for (const char* conf : {"/opt/zarn/etc/zarnd.conf", "/opt/zarn/etc/brevik.conf", "/opt/zarn/etc/zarnauditd.conf",
                           "/opt/zarn/etc/zarnwdd.conf"}) {
    EXPECT_EQ(owner_of(conf), "root:brevik\n") << conf;
    EXPECT_EQ(mode_of(conf), 0660u) << conf;
  }
  EXPECT_EQ(read_file("/var/zarn/certs/zarn-ca.pem"), ca);

  // Registered, with the product, branch and machine policy.
  EXPECT_EQ(store_dump(),
            "meta key=\"schema_version\" value=\"3\"\n"
            "sec_master password_hash=<hash>\n"
            "objectspace name=\"/BREVIK\" type=14 description=\"Zarn product\"\n"
            "objectspace name=\"/BREVIK/brevik1\" type=14 description=\"Zarn branch\"\n"
            "acl name=\"brevik-brevik1-hosts\"\n"
            "acl_user acl=\"brevik-brevik1-hosts\" user=\"zarnd/zarnhost\" perms=\"Tr\"\n"
            "grp name=\"brevik-servers\" dn=\"cn=servers\" cn=\"servers\"\n"
            "grp_member grp=\"brevik-servers\" user=\"zarnd/zarnhost\"\n"
            "user name=\"zarnd/zarnhost\" dn=\"cn=zarnd/zarnhost\" cn=\"zarnd/zarnhost\" sn=\"zarnd\" "
            "password_hash=<hash> sso=0 account_valid=0\n");
  for (const char* key : {"/var/zarn/certs/zarnd.kdb", "/var/zarn/certs/zarnd.sth"}) {
    EXPECT_EQ(owner_of(key), "root:brevik\n") << key;
    EXPECT_EQ(mode_of(key), 0660u) << key;
  }
  const std::string kdb = read_file("/var/zarn/certs/zarnd.kdb");
  EXPECT_NE(kdb.find("port=7134\n"), std::string::npos) << kdb;
  EXPECT_NE(kdb.find("listening=yes\n"), std::string::npos) << kdb;

  for (const auto* links : {&kStartLinks, &kStopLinks}) {
    for (const std::string& link : *links) {
      const bool kernel = link.ends_with("kbrevik");
      EXPECT_EQ(link_target(link), kernel ? "/etc/rc.d/init.d/kbrevik" : "/etc/rc.d/init.d/brevik") << link;
    }
  }

  EXPECT_EQ(read_file("/var/zarn/run/login-policy"), "on\n");
  EXPECT_EQ(read_file("/var/zarn/run/zarnd.tcb"), "tcb initialised\n");
  EXPECT_EQ(stanza_value(read_file("/opt/zarn/etc/zarnd.conf"), "zarncfg", "state"), "on");
  EXPECT_EQ(read_file("/var/zarn/run/zarnevcd.autostart"), "off\n");
  EXPECT_EQ(invocations(), kRegisterCommand + "/opt/zarn/bin/zarnd -T\n/opt/zarn/bin/zarnlpadm -c on\n" +
                               "/opt/zarn/bin/zarnevccfg -autostart off -sec_master_pwd " + kPwd + "\n");

  const std::string log = log_text();
  EXPECT_NE(log.find("/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -config -d /var/zarn/certs -n zarnd "
                     "-s local -P ******** -S ******** -r 7134 -C /var/zarn/certs/zarn-ca.pem -l yes"),
            std::string::npos);
  EXPECT_EQ(log.find("/bin/cat "), std::string::npos);
  EXPECT_EQ(owner_of(kZarncfgLog), "brevik:brevik\n");
  EXPECT_EQ(mode_of(kZarncfgLog), 0660u);
}

TEST_F(ConfigTest, FirstConfigurationMovesTheDaemonLogsAside) {
  write_file("/var/zarn/log/msg__zarnd.log", "earlier daemon log\n", 0644);
  write_file("/var/zarn/log/msg__zarnd.log.bak", "an even older log\n", 0600);
  sh("chown brevik:brevik /var/zarn/log/msg__zarnd.log");

  const auto r = zarncfg(first_args());

  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_FALSE(host().exists("/var/zarn/log/msg__zarnd.log"));
  EXPECT_EQ(read_file("/var/zarn/log/msg__zarnd.log.bak"), "earlier daemon log\n");
  EXPECT_EQ(owner_of("/var/zarn/log/msg__zarnd.log.bak"), "root:root\n");
  EXPECT_EQ(mode_of("/var/zarn/log/msg__zarnd.log.bak"), 0660u);
  const std::string log = log_text();
  EXPECT_NE(log.find("The file /var/zarn/log/msg__zarnd.log was renamed to /var/zarn/log/msg__zarnd.log.bak.\n"),
            std::string::npos);
  for (const char* absent : {"/var/zarn/log/msg__zarnwdd.log", "/var/zarn/log/msg__zarnauditd.log"}) {
    EXPECT_NE(log.find(std::string("ZRNCF0020W   The file ") + absent +
                       " did not exist.  Unable to change attributes.\n"),
              std::string::npos)
        << absent;
    EXPECT_FALSE(host().exists(std::string(absent) + ".bak"));
  }
}

TEST_F(ConfigTest, MissingKeyStashIsOnlyWarnedAbout) {
  // The registration tool always leaves a stash, so the daemon's TCB run,
  // which comes after it, takes the stash away again.
  ASSERT_EQ(sh("mv /opt/zarn/bin/zarnd /opt/zarn/bin/zarnd.real").exit_status, 0);
  write_file("/opt/zarn/bin/zarnd", "#!/bin/sh\nrm -f /var/zarn/certs/zarnd.sth\nexec /opt/zarn/bin/zarnd.real \"$@\"\n",
             0755);

  const auto r = zarncfg(first_args());

  EXPECT_EQ(r.out, kFirstRunHead + kPolicyLoad + kTcb + kOtherDaemons + kSuccess) << describe(r);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_FALSE(host().exists("/var/zarn/certs/zarnd.sth"));
  EXPECT_NE(log_text().find("ZRNCF0020W   The file /var/zarn/certs/zarnd.sth did not exist.  Unable to change "
                            "attributes.\n"),
            std::string::npos);
  EXPECT_EQ(owner_of("/var/zarn/certs/zarnd.kdb"), "root:brevik\n");
  EXPECT_EQ(mode_of("/var/zarn/certs/zarnd.kdb"), 0660u);
}

TEST_F(ConfigTest, FirstConfigurationWithRuntime37EndsTheRegistrationLineWithABlank) {
  hostsim::HostOptions options;
  options.vdrte_version = "3.7.0";
  TempHost v37(options);
  prepare_host(v37);
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
  expect_no_password_left(v37);
}

TEST_F(ConfigTest, ReconfigurationChangingOnlyZarndLogs) {
  configure_first();
  write_file("/var/zarn/log/msg__zarnd.log", "daemon log\n");
  const std::string zarnd_before = read_file("/opt/zarn/etc/zarnd.conf");
  const std::string brevik_before = read_file("/opt/zarn/etc/brevik.conf");
  const std::string store_before = store_dump();
  sh("echo off > /var/zarn/run/login-policy");

  const auto r = zarncfg({"-zarnd_logs", "9"});

  EXPECT_EQ(r.out, kReconfigHead + kOtherDaemons + kSuccess) << describe(r);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnd.conf"), zarnd_before + "\n[zarnd]\nlogs = 9\n");
  EXPECT_EQ(read_file("/opt/zarn/etc/brevik.conf"), brevik_before);
  // No registration, no policy, no trusted computing base, no event console;
  // the login policy tool runs again with the value in force.
  EXPECT_EQ(invocations(), "/opt/zarn/bin/zarnlpadm -c on\n");
  EXPECT_EQ(read_file("/var/zarn/run/login-policy"), "on\n");
  EXPECT_EQ(read_file("/var/zarn/run/zarnd.tcb"), "tcb initialised\n");
  EXPECT_EQ(store_dump(), store_before);
  EXPECT_EQ(read_file("/var/zarn/log/msg__zarnd.log"), "daemon log\n");
  EXPECT_FALSE(host().exists("/var/zarn/log/msg__zarnd.log.bak"));
  const std::string log = log_text();
  // Registration, the three policy file steps and the TCB.
  EXPECT_EQ(count_of(log, "The configuration process has been run previously.\n"), 5u);
  const auto state_write = log.rfind("Entering function zarncfg_set_config_state.\n");
  ASSERT_NE(state_write, std::string::npos);
  EXPECT_NE(log.find("Adding entry on to /opt/zarn/etc/zarnd.conf.\n", state_write), std::string::npos);
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
  configure_first({"-dns", "on", "-uid", "off", "-zarnd_logs", "4"});
  ASSERT_EQ(read_file("/opt/zarn/etc/brevik.conf"),
            "[policy]\nbranch = brevik1\n\n[cache]\ndns = on\nuid = off\n\n[ffdc]\ncapture = on\n");
  const std::string zarnd_before = read_file("/opt/zarn/etc/zarnd.conf");

  auto r = zarncfg({"-delete", "dns,uid"});

  EXPECT_EQ(r.out, kReconfigHead + kOtherDaemons + kSuccess) << describe(r);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(read_file("/opt/zarn/etc/brevik.conf"), "[policy]\nbranch = brevik1\n\n[cache]\n\n[ffdc]\ncapture = on\n");
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnd.conf"), zarnd_before);
  std::string log = log_text();
  EXPECT_NE(log.find("Deleting dns from /opt/zarn/etc/brevik.conf.\nDeleted dns successfully.\n"), std::string::npos);
  EXPECT_NE(log.find("Deleting uid from /opt/zarn/etc/brevik.conf.\nDeleted uid successfully.\n"), std::string::npos);

  // Entries that are gone already are no error.
  r = zarncfg({"-delete", "dns"});
  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_NE(log_text().find("The item dns was not found in the configuration file.\n"), std::string::npos);
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
