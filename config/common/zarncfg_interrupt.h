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

// Between two steps: true when the next one may run (no failure, no
// signal).  A signal is reported here also after a failed step, since the
// step may have failed because its tool was stopped by it.
inline bool zarncfg_go_on(vd_msgid_t& status) {
  const bool interrupted = zarncfg_interrupted(status);
  return status == 0 && !interrupted;
}

// Whether a termination signal has been caught, so that a tool that failed
// may have been stopped half way by it.
bool zarncfg_tool_was_interrupted();
