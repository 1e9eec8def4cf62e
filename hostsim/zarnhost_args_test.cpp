#include "zarnhost_args.h"

#include <gtest/gtest.h>

namespace hostsim {
namespace {

ZarnhostRequest parse(std::vector<std::string> args) { return parse_zarnhost_args(args); }

TEST(ZarnhostArgs, CreateWithEveryOption) {
  const auto request = std::get<CreateRequest>(parse({"create", "/tmp/h", "--hostname", "alpha", "--product", "/st",
                                                      "--shared-varden", "/sv", "--policy-server-socket", "/pg",
                                                      "--vdrte-version", "3.7"}));
  EXPECT_EQ(request.dir, "/tmp/h");
  EXPECT_EQ(request.options.hostname, "alpha");
  EXPECT_EQ(request.options.product, "/st");
  EXPECT_EQ(request.options.shared_varden, std::filesystem::path("/sv"));
  EXPECT_EQ(request.options.policy_server_socket, std::filesystem::path("/pg"));
  EXPECT_EQ(request.options.vdrte_version, "3.7");
}

TEST(ZarnhostArgs, CreateDefaults) {
  const auto request = std::get<CreateRequest>(parse({"create", "h"}));
  EXPECT_EQ(request.options.hostname, "zarnhost");
  EXPECT_EQ(request.options.product, default_product_dir());
  EXPECT_FALSE(request.options.shared_varden);
  EXPECT_FALSE(request.options.policy_server_socket);
  EXPECT_FALSE(request.options.vdrte_version);
}

TEST(ZarnhostArgs, RunKeepsTheCommandVerbatim) {
  const auto request =
      std::get<RunRequest>(parse({"run", "h", "--user", "brevik", "--cwd", "/var", "--", "sh", "--user", "--"}));
  EXPECT_EQ(request.dir, "h");
  EXPECT_EQ(request.user, "brevik");
  EXPECT_EQ(request.cwd, "/var");
  EXPECT_EQ(request.command, (std::vector<std::string>{"sh", "--user", "--"}));
}

TEST(ZarnhostArgs, RunDefaults) {
  const auto request = std::get<RunRequest>(parse({"run", "h", "--", "true"}));
  EXPECT_FALSE(request.user);
  EXPECT_EQ(request.cwd, "/");
}

class ZarnhostArgsRefuses : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(ZarnhostArgsRefuses, Malformed) { EXPECT_THROW(parse(GetParam()), std::invalid_argument); }

INSTANTIATE_TEST_SUITE_P(
    Lines, ZarnhostArgsRefuses,
    ::testing::Values(std::vector<std::string>{}, std::vector<std::string>{"destroy", "h"},
                      std::vector<std::string>{"create"}, std::vector<std::string>{"create", "h", "--hostname"},
                      std::vector<std::string>{"create", "h", "--colour", "red"},
                      std::vector<std::string>{"run", "h", "true"}, std::vector<std::string>{"run", "h", "--"},
                      std::vector<std::string>{"run", "h", "--user"},
                      std::vector<std::string>{"run", "h", "--shell", "--", "true"}));

}  // namespace
}  // namespace hostsim
