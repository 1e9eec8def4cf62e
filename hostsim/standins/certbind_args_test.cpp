#include "certbind_args.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::optional<CertbindArgs> parse(std::vector<std::string> words, std::string& error) {
  return certbind_parse_args(words, error);
}

TEST(CertbindArgs, RegistrationIn37StyleTakesTheBareConfigurationFile) {
  std::string error;
  const auto a = parse({"/opt/zarn/etc/zarnd.conf", "-config", "-d", "/var/zarn/certs", "-n", "zarnd", "-s", "local",
                        "-r", "7134", "-C", "/var/zarn/certs/ca.pem"},
                       error);
  ASSERT_TRUE(a) << error;
  EXPECT_EQ(a->action, CertbindAction::config);
  EXPECT_EQ(a->config_file, "/opt/zarn/etc/zarnd.conf");
  EXPECT_EQ(a->port, "7134");
  EXPECT_EQ(a->cacert, "/var/zarn/certs/ca.pem");
  EXPECT_FALSE(a->master_pwd);
  EXPECT_FALSE(a->listening);
}

TEST(CertbindArgs, OtherStyleTakesDashFAndPasswords) {
  std::string error;
  const auto a = parse({"-config", "-f", "/opt/zarn/etc/zarnlrd.conf", "-d", "/var/zarn/certs", "-n", "zarnlrd", "-s",
                        "remote", "-P", "pw", "-S", "-", "-r", "7777"},
                       error);
  ASSERT_TRUE(a) << error;
  EXPECT_EQ(a->config_file, "/opt/zarn/etc/zarnlrd.conf");
  EXPECT_EQ(a->master_pwd, "pw");
  EXPECT_EQ(a->keystore_pwd, "-");
}

TEST(CertbindArgs, OtherActions) {
  std::string error;
  EXPECT_EQ(parse({"-f", "/c", "-unconfig", "-n", "zarnd"}, error)->action, CertbindAction::unconfig);
  EXPECT_EQ(parse({"/c", "-chgport", "-n", "zarnd", "-r", "1"}, error)->action, CertbindAction::chgport);
  EXPECT_EQ(parse({"-f", "/c", "-chgport", "-r", "1"}, error)->action, CertbindAction::chgport);
  EXPECT_EQ(parse({"/c", "-modify", "-C", "/x"}, error)->action, CertbindAction::modify);
}

TEST(CertbindArgs, BadCommandLinesAreRefused) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"-f", "/c"},
      {"/c", "-config", "-unconfig", "-n", "zarnd"},
      {"/c", "-unconfig"},
      {"/c", "-unconfig", "-n", "../etc"},
      {"/c", "-unconfig", "-n"},
      {"/c", "-unconfig", "-n", "zarnd", "-x", "1"},
      {"/c", "-chgport", "-r", "70000"},
      {"/c", "-chgport", "-r", "12a"},
      {"/c", "-modify"},
      {"-config", "-d", "/k", "-n", "zarnd", "-s", "local", "-r", "1"},
      {"/c", "-config", "-d", "/k", "-n", "zarnd", "-s", "both", "-r", "1"},
      {"/c", "-config", "-d", "/k", "-n", "zarnd", "-s", "local", "-r", "1", "-l", "maybe"},
  };
  for (const auto& words : bad) {
    std::string error;
    EXPECT_FALSE(parse(words, error)) << (words.empty() ? "" : words.back());
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
