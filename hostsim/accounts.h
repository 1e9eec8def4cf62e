// The host's own account files, read directly: the host's users are not the
// real machine's, so the system's user database must not answer for them.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hostsim {

struct PasswdEntry {
  std::string name;
  uid_t uid = 0;
  gid_t gid = 0;
  std::string home;
};

struct GroupEntry {
  std::string name;
  gid_t gid = 0;
  std::vector<std::string> members;
};

// Malformed lines are skipped, as the C library's own look-ups do.
std::vector<PasswdEntry> parse_passwd(std::string_view text);
std::vector<GroupEntry> parse_group(std::string_view text);

struct Account {
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;  // primary group first, then memberships
  std::string home;
};

std::optional<Account> find_account(std::string_view passwd_text, std::string_view group_text,
                                    std::string_view user);

}  // namespace hostsim
