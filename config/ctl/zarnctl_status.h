// `zarnctl status [--json]`: the state of the host as its files show it,
// read without changing anything.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

// How the last run of zarncfg ended, as its message log tells.
struct LastRun {
  // "none" (no run logged), "succeeded", "failed", "informational" (it
  // only showed help or a version), "unfinished" (it never reached its
  // end: killed, or still running).
  std::string outcome = "none";
  std::optional<std::string> closing_code;  // the code of its closing message
  std::optional<std::string> cause_code;    // the first error it reported
  std::optional<std::string> cause;         // that error's first line
  bool operator==(const LastRun&) const = default;
};

LastRun parse_last_run(std::string_view log);

struct LinkStatus {
  std::string link;
  std::string target;
};

struct UnfinishedRun {
  std::string host;
  long pid = 0;
  long long started = 0;
  bool live = false;  // its process still holds the host's lock
};

struct HostStatus {
  bool configured = false;
  std::optional<std::string> branch;
  std::optional<std::string> suffix;
  std::optional<std::string> registered_name;
  std::vector<LinkStatus> autostart_links;
  std::optional<long> zarnd_pid;  // the daemon's process, when it runs
  bool log_router_configured = false;
  LastRun last_run;
  std::optional<UnfinishedRun> unfinished_run;
  std::size_t unfinished_work = 0;  // killed runs' work that needs the password
  std::optional<long> lock_holder;  // a run in progress
};

nlohmann::json status_json(const HostStatus& status);
std::string status_text(const HostStatus& status);

// Reads the host's state; false with the problem printed when the current
// configuration files cannot be read.
bool zarnctl_read_status(HostStatus& status);

// The command: 0, or 1 when the state could not be read.
int zarnctl_status(bool as_json);
