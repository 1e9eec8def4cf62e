#include "accounts.h"

#include <gtest/gtest.h>

namespace hostsim {
namespace {

constexpr std::string_view kPasswd =
    "# comment\n"
    "root:x:0:0:root:/root:/bin/sh\n"
    "\n"
    "brevik:x:301:302:Zarn:/var/zarn:/usr/sbin/nologin\n"
    "short:x:5:5:/home/short\n"
    "badid:x:abc:5::/home/badid:/bin/sh\n"
    "negative:x:-1:5::/:/bin/sh\n"
    "last:x:7:8::/home/last:/bin/sh";  // no final newline

constexpr std::string_view kGroup =
    "root:x:0:\n"
    "brevik:x:302:\n"
    "audit:x:400:root,brevik\n"
    "brevik-alias:x:302:brevik\n"
    "broken:x:\n"
    "other:x:500:rootless\n";

TEST(ParsePasswd, KeepsWellFormedLinesOnly) {
  const auto entries = parse_passwd(kPasswd);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "root");
  EXPECT_EQ(entries[1].name, "brevik");
  EXPECT_EQ(entries[1].uid, 301u);
  EXPECT_EQ(entries[1].gid, 302u);
  EXPECT_EQ(entries[1].home, "/var/zarn");
  EXPECT_EQ(entries[2].name, "last");
  EXPECT_EQ(entries[2].home, "/home/last");
}

TEST(ParseGroup, SplitsMembers) {
  const auto entries = parse_group(kGroup);
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_TRUE(entries[0].members.empty());
  EXPECT_EQ(entries[2].members, (std::vector<std::string>{"root", "brevik"}));
}

struct AccountCase {
  const char* user;
  bool found;
  uid_t uid;
  gid_t gid;
  std::vector<gid_t> groups;
};

void PrintTo(const AccountCase& c, std::ostream* os) { *os << '"' << c.user << '"'; }

class FindAccount : public ::testing::TestWithParam<AccountCase> {};

TEST_P(FindAccount, TakesIdsAndMemberships) {
  const AccountCase& c = GetParam();
  const auto account = find_account(kPasswd, kGroup, c.user);
  ASSERT_EQ(account.has_value(), c.found);
  if (!c.found) return;
  EXPECT_EQ(account->uid, c.uid);
  EXPECT_EQ(account->gid, c.gid);
  EXPECT_EQ(account->groups, c.groups);
}

INSTANTIATE_TEST_SUITE_P(
    Users, FindAccount,
    // Member names match whole: "rootless" does not make root a member.
    ::testing::Values(AccountCase{"root", true, 0, 0, {0, 400}},
                      // Membership in a group with the primary gid must not repeat it.
                      AccountCase{"brevik", true, 301, 302, {302, 400}},
                      AccountCase{"last", true, 7, 8, {8}},
                      AccountCase{"roo", false, 0, 0, {}},
                      AccountCase{"short", false, 0, 0, {}},
                      AccountCase{"", false, 0, 0, {}}));

}  // namespace
}  // namespace hostsim
