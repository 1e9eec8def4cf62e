// One run of the program per host at a time.
#pragma once

#include "zarncfg_msg.h"

inline constexpr const char* ZARNCFG_RUN_DIR = "/var/zarn/run";
inline constexpr const char* ZARNCFG_LOCK_FILE = "/var/zarn/run/zarncfg.lock";

// Takes the host's lock for the rest of this run, before the run touches
// anything.  The commands the run starts hold it too, so that one still at
// work after the run was killed keeps the next run waiting for it.  When
// another run holds it: false with ZRNCF1395E naming its process id; when
// the lock file cannot be used: false with ZRNCF1406E.
bool zarncfg_lock_host(vd_msgid_t& status);

// Takes the host's lock shared for a program that only looks at the host,
// so that no run begins while it looks; creates nothing.  When a run holds
// the lock: false with ZRNCF1395E printed, naming its process id; when the
// lock file cannot be used: false with ZRNCF1406E printed.  Nothing is logged.
bool zarncfg_share_host_lock(vd_msgid_t& status);
// Whether a run holds the host's lock now, and its process id.
bool zarncfg_host_lock_held(long& holder);
