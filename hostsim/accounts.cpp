#include "accounts.h"

#include <algorithm>

#include "parse_number.h"

namespace hostsim {
namespace {

std::vector<std::string_view> split(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  for (;;) {
    const size_t at = text.find(sep);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

// Lines that carry data: not empty, not comments.
std::vector<std::string_view> data_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::string_view line : split(text, '\n')) {
    if (!line.empty() && line.front() != '#') lines.push_back(line);
  }
  return lines;
}

}  // namespace

std::vector<PasswdEntry> parse_passwd(std::string_view text) {
  std::vector<PasswdEntry> entries;
  for (std::string_view line : data_lines(text)) {
    const auto f = split(line, ':');
    if (f.size() != 7 || f[0].empty()) continue;
    const auto uid = parse_number<uid_t>(f[2]);
    const auto gid = parse_number<gid_t>(f[3]);
    if (!uid || !gid) continue;
    entries.push_back(PasswdEntry{std::string(f[0]), *uid, *gid, std::string(f[5])});
  }
  return entries;
}

std::vector<GroupEntry> parse_group(std::string_view text) {
  std::vector<GroupEntry> entries;
  for (std::string_view line : data_lines(text)) {
    const auto f = split(line, ':');
    if (f.size() != 4 || f[0].empty()) continue;
    const auto gid = parse_number<gid_t>(f[2]);
    if (!gid) continue;
    GroupEntry entry{std::string(f[0]), *gid, {}};
    if (!f[3].empty()) {
      for (std::string_view member : split(f[3], ',')) entry.members.emplace_back(member);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::optional<Account> find_account(std::string_view passwd_text, std::string_view group_text,
                                    std::string_view user) {
  const auto users = parse_passwd(passwd_text);
  const auto found = std::find_if(users.begin(), users.end(), [&](const PasswdEntry& e) { return e.name == user; });
  if (found == users.end()) return std::nullopt;

  Account account{found->uid, found->gid, {found->gid}, found->home};
  for (const GroupEntry& group : parse_group(group_text)) {
    const bool member = std::find(group.members.begin(), group.members.end(), user) != group.members.end();
    const bool known = std::find(account.groups.begin(), account.groups.end(), group.gid) != account.groups.end();
    if (member && !known) account.groups.push_back(group.gid);
  }
  return account;
}

}  // namespace hostsim
