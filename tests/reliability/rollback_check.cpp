#include "rollback_check.h"

#include "e2e/secret_scan.h"

namespace rel {
namespace {

bool moved_aside_when_first(const std::string& path) {
  return path == "/opt/zarn/etc/zarnd.conf" || path == "/opt/zarn/etc/brevik.conf";
}

}  // namespace

std::vector<std::string> file_differences(const std::map<std::string, FileState>& expected,
                                          const std::map<std::string, FileState>& found) {
  std::vector<std::string> problems;
  for (const auto& [path, state] : expected) {
    const FileState& now = found.at(path);
    if (!(now == state)) problems.push_back(path + " should be " + describe(state) + ", is " + describe(now));
  }
  return problems;
}

std::vector<std::string> rollback_problems(const e2e::TempHost& host, const HostState& before,
                                           bool first_configuration) {
  const HostState after = capture(host);
  std::vector<std::string> problems;
  for (const auto& [path, state] : before.conf_files) {
    const FileState& now = after.conf_files.at(path);
    if (now == state) continue;
    // Created by the run and without a backup: it stays, by design.
    if (!state.exists && !(first_configuration && moved_aside_when_first(path))) continue;
    problems.push_back(path + " was " + describe(state) + ", is " + describe(now));
  }
  for (const std::string& line : line_diff(before.store, after.store)) problems.push_back("store " + line);
  for (const std::string& path : after.paths) {
    if (before.paths.count(path) != 0) continue;
    if (path.ends_with(".partial") && !first_configuration) problems.push_back("left behind: " + path);
    if (path == "/var/zarn/run/zarncfg.run" || path.starts_with("/opt/zarn/etc/.zarncfg-pw.")) {
      problems.push_back("left behind: " + path);
    }
  }
  for (const std::string& hit : e2e::find_secret(host, kPwd)) problems.push_back("secret in " + hit);
  return problems;
}

}  // namespace rel
