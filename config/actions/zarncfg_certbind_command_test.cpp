#include "zarncfg_certbind_command.h"

#include <gtest/gtest.h>

namespace {

ConfigRecord record_with(const std::string& port, const std::string& cacert, const std::string& password) {
  ConfigRecord record{};
  record[IDX_SSL_LISTENING_PORT].value = port;
  record[IDX_LDAP_SSL_CACERT].value = cacert;
  record[IDX_SEC_MASTER_PWD].value = password;
  return record;
}

const ConfigRecord kDefault = record_with("7134", "/var/zarn/certs/ca.pem", "Secret1");

TEST(CertbindCommand, RegistrationOn37EndsWithTheEmptyListeningArgument) {
  const ShellCommand c = certbind_register_command(true, "/opt/zarn/etc/Ab12Cd", kDefault, "Gen20");
  EXPECT_EQ(c.text,
            "/bin/cat /opt/zarn/etc/Ab12Cd | /opt/Varden/bin/certbind /opt/zarn/etc/zarnd.conf -config "
            "-d /var/zarn/certs -n zarnd -s local -r 7134 -C /var/zarn/certs/ca.pem ");
  EXPECT_EQ(c.display,
            "/opt/Varden/bin/certbind /opt/zarn/etc/zarnd.conf -config -d /var/zarn/certs -n zarnd -s local "
            "-P ******** -S ******** -r 7134 -C /var/zarn/certs/ca.pem ");
}

TEST(CertbindCommand, RegistrationOnOtherVersionsUsesDashFAndListening) {
  const ShellCommand c = certbind_register_command(false, "/opt/zarn/etc/Ab12Cd", kDefault, "Gen20");
  EXPECT_EQ(c.text,
            "/bin/cat /opt/zarn/etc/Ab12Cd | /opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -config "
            "-d /var/zarn/certs -n zarnd -s local -r 7134 -C /var/zarn/certs/ca.pem -l yes");
}

TEST(CertbindCommand, ListeningArgumentFollowsThePortNumber) {
  struct Row {
    bool vd37;
    const char* port;
    const char* expected;
  };
  for (const Row& row : {Row{false, "0", "-l no"}, Row{false, "1", "-l yes"}, Row{false, "", "-l no"},
                         Row{false, "65535", "-l yes"}, Row{true, "0", ""}, Row{true, "7134", ""}}) {
    EXPECT_EQ(certbind_listening_arg(row.vd37, row.port), row.expected) << row.port;
  }
  const ShellCommand c =
      certbind_register_command(false, "/p", record_with("0", "/c", "pw"), "gen");
  EXPECT_TRUE(c.text.ends_with("-r 0 -C /c -l no"));
}

TEST(CertbindCommand, WithoutPasswordFileThePasswordsAreQuotedButNeverShown) {
  const ConfigRecord record = record_with("7134", "/c", "it's; rm -rf /");
  const ShellCommand c = certbind_register_command(false, "", record, "G$en");
  EXPECT_EQ(c.text,
            "/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -config -d /var/zarn/certs -n zarnd -s local "
            "-P 'it'\\''s; rm -rf /' -S 'G$en' -r 7134 -C /c -l yes");
  EXPECT_EQ(c.display.find("rm -rf"), std::string::npos);
  EXPECT_EQ(c.display.find("G$en"), std::string::npos);
}

TEST(CertbindCommand, CertificatePathIsOneShellWordOfAnyLength) {
  const std::string long_path = "/var/zarn/certs/" + std::string(2000, 'a') + " b$(x).pem";
  const ShellCommand c = certbind_register_command(true, "/p", record_with("7134", long_path, "pw"), "g");
  EXPECT_NE(c.text.find("-C '" + long_path + "' "), std::string::npos);
  EXPECT_GT(c.text.size(), 2000u);
}

TEST(CertbindCommand, Unregistration) {
  EXPECT_EQ(certbind_unregister_command(true, "/p", kDefault).text,
            "/bin/cat /p | /opt/Varden/bin/certbind /opt/zarn/etc/zarnd.conf -unconfig -n zarnd");
  const ShellCommand c = certbind_unregister_command(false, "", kDefault);
  EXPECT_EQ(c.text, "/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -unconfig -n zarnd -P Secret1");
  EXPECT_EQ(c.display, "/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -unconfig -n zarnd -P ********");
}

TEST(CertbindCommand, PortChangeNamesTheDaemonOnlyOn37) {
  const ShellCommand v37 = certbind_chgport_command(true, "/p", kDefault);
  EXPECT_EQ(v37.text, "/bin/cat /p | /opt/Varden/bin/certbind /opt/zarn/etc/zarnd.conf -chgport -n zarnd -r 7134");
  EXPECT_EQ(v37.display, "/opt/Varden/bin/certbind /opt/zarn/etc/zarnd.conf -chgport -n zarnd -P ******** -r 7134");
  const ShellCommand other = certbind_chgport_command(false, "/p", kDefault);
  EXPECT_EQ(other.text, "/bin/cat /p | /opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -chgport  -r 7134");
  EXPECT_EQ(other.display, "/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -chgport  -P ******** -r 7134");
}

TEST(CertbindCommand, CertificateChange) {
  EXPECT_EQ(certbind_modify_command(true, kDefault),
            "/opt/Varden/bin/certbind /opt/zarn/etc/zarnd.conf -modify -C /var/zarn/certs/ca.pem");
  EXPECT_EQ(certbind_modify_command(false, kDefault),
            "/opt/Varden/bin/certbind -f /opt/zarn/etc/zarnd.conf -modify -C /var/zarn/certs/ca.pem");
}

}  // namespace
