// The keys of "zarnctl status --json", with what each holds: the one table
// from which the JSON's test and the manual page's section are made.
#pragma once

#include <array>
#include <string_view>

struct StatusKey {
  std::string_view key;  // dotted for a member of an object
  std::string_view holds;
};

inline constexpr std::array<StatusKey, 19> kStatusKeys = {{
    {"configured", "true when zarncfg has configured the host (the state entry of zarnd.conf is on)."},
    {"branch", "The policy branch of the host, or null."},
    {"suffix", "The LDAP suffix of the host, or null."},
    {"registered_name",
     "The name under which the security daemon is registered with the Varden Policy Server, as the host's key "
     "database shows it, or null."},
    {"autostart_links", "The run-level links present, each an object with the keys link and target."},
    {"zarnd.running", "true while the security daemon runs."},
    {"zarnd.pid", "The daemon's process id, or null."},
    {"log_router.configured", "true when the log router daemon is configured."},
    {"last_run.outcome",
     "How the last run of zarncfg ended, from its message log: none, succeeded, failed, informational (it only "
     "showed help or its version) or unfinished (killed, or still running)."},
    {"last_run.closing_code", "The code of the failed run's closing message (ZRNCF0021E), or null."},
    {"last_run.cause_code", "The first error the last run reported, the underlying cause of a failure, or null."},
    {"last_run.cause", "The first line of that error, or null."},
    {"unfinished_run", "The run record of a run that has not ended, or null; an object with the keys below."},
    {"unfinished_run.host", "The host name the run recorded."},
    {"unfinished_run.pid", "Its process id."},
    {"unfinished_run.started", "Its start, in seconds since the epoch."},
    {"unfinished_run.live",
     "true while the run, or a command it started, still holds the host's lock; false for a run that was killed."},
    {"unfinished_work",
     "The number of killed runs whose registration or policy only a run given the security master password can "
     "take back."},
    {"run_in_progress", "The process id of the run that holds the host's lock now, or null."},
}};
