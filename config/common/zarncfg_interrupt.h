// Where a run looks whether a termination signal (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT) has asked it to stop.  The signals themselves are only noted
// (sys_signals.h); a run stops at these points and ends through its exit
// routine, which undoes what the run changed.
#pragma once

#include "zarncfg_msg.h"

// True once a termination signal has been caught.  The first time it prints
// and logs ZRNCF1396E naming the signal; a status that holds no failure yet
// is set to it.
bool zarncfg_interrupted(vd_msgid_t& status);

// Between two steps: true when the next one may run (no failure, no signal).
inline bool zarncfg_go_on(vd_msgid_t& status) { return status == 0 && !zarncfg_interrupted(status); }
