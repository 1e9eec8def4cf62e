#include "fault_check.h"

#include <algorithm>
#include <regex>

#include "e2e/secret_scan.h"

namespace rel {
namespace {

const std::vector<std::string> kWatchedDirs = {"/opt/zarn/etc", "/var/zarn", "/var/Varden", "/etc/rc.d", "/tmp"};

// New paths a failed run leaves by design, each with why.
bool is_by_design(const std::string& path, Scenario scenario, bool failed_run) {
  static const std::regex evidence(R"(^/var/zarn/run/.*|^/var/zarn/log/msg__zarncfg\.log$|^/var/Varden/policy\.db-(wal|shm)$)");
  static const std::regex partial(R"(^/opt/zarn/etc/(zarnd|brevik)\.conf\.partial$)");
  if (std::regex_match(path, evidence)) return true;
  return failed_run && scenario == Scenario::first_configuration && std::regex_match(path, partial);
}

// Effects the program does not undo on failure: the copied CA certificate
// and the run-level links.
bool is_kept_effect(const std::string& path) {
  static const std::regex kept(R"(^/var/zarn/certs/zarn-ca2?\.pem$|^/etc/rc\.d/rc[0-6]\.d/[SK]\d\d\w+(/.*)?$)");
  return std::regex_match(path, kept);
}

void check_files(const HostState& before, const HostState& after, RunVerdict& verdict) {
  for (const auto& [path, state] : before.conf_files) {
    const FileState& now = after.conf_files.at(path);
    if (now == state) continue;
    if (!state.exists) {
      // The restore brings back ".bak" copies only; a file the run created
      // has none and stays, as the program's description requires.
      verdict.kept.push_back(path + " (created by the run, no backup)");
    } else {
      verdict.problems.push_back(path + " was " + describe(state) + ", is " + describe(now));
    }
  }
}

// Temporary files of the program: password files, command output files,
// backup and stanza write temporaries.
bool is_temp_file(const std::string& path) {
  static const std::regex temp(R"(^/opt/zarn/etc/[A-Za-z0-9]{6}$|^/var/zarn/zarncfg/.+|^/tmp/.+|.*\.[A-Za-z0-9]{6}$)");
  return std::regex_match(path, temp);
}

void check_paths(const FaultStep& step, bool failed_run, const HostState& before, const HostState& after,
                 RunVerdict& verdict) {
  if (!failed_run) {
    for (const std::string& path : after.paths) {
      if (!before.paths.count(path) && is_temp_file(path)) verdict.problems.push_back("left behind: " + path);
    }
    return;
  }
  for (const std::string& path : after.paths) {
    if (before.paths.count(path) || is_by_design(path, step.scenario, failed_run)) continue;
    if (std::find(kConfFiles.begin(), kConfFiles.end(), path) != kConfFiles.end()) continue;  // check_files
    if (is_kept_effect(path)) {
      verdict.kept.push_back(path);
    } else {
      verdict.problems.push_back("left behind: " + path);
    }
  }
  for (const std::string& path : before.paths) {
    if (after.paths.count(path) || path.ends_with(".bak") || is_kept_effect(path)) continue;
    verdict.problems.push_back("removed: " + path);
  }
}

}  // namespace

HostState capture(const e2e::TempHost& host) {
  return HostState{conf_file_states(host.dir()), store_dump(host), list_tree(host.dir(), kWatchedDirs)};
}

RunVerdict judge(const FaultStep& step, const e2e::TempHost& host, const hostsim::RunResult& run,
                 const HostState& before) {
  RunVerdict verdict;
  const HostState after = capture(host);
  if (step.store_fault) {
    const auto pending = host.sh("/opt/Varden/bin/kxadmin fault list");
    if (!pending.out.empty()) verdict.reached = false;
  }
  const bool failed_run = run.exit_status != 0;
  const bool tolerated = step.message.empty();
  if (!failed_run && !tolerated) verdict.reached = false;
  if (!verdict.reached) verdict.problems.push_back("the fault was not met");
  if (failed_run) {
    if (run.exit_status != 1) verdict.problems.push_back("exit status " + std::to_string(run.exit_status));
    if (!tolerated && run.out.find(step.message) == std::string::npos) verdict.problems.push_back("no " + step.message);
    if (run.out.find("ZRNCF0021E") == std::string::npos) verdict.problems.push_back("no ZRNCF0021E");
    check_files(before, after, verdict);
    for (const std::string& line : line_diff(before.store, after.store)) verdict.problems.push_back("store " + line);
  }
  check_paths(step, failed_run, before, after, verdict);
  for (const std::string& hit : e2e::find_secret(host, kPwd)) {
    verdict.problems.push_back("secret in " + hit);
    ++verdict.leaks;
  }
  return verdict;
}

}  // namespace rel
