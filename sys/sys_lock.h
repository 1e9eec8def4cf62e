// One holder at a time for a whole host: an exclusive lock on a file, which
// the kernel drops when the last process holding it ends, however it ends.
#pragma once

#include <sys/types.h>

#include <string>

#include "sys_fd.h"

namespace sys {

// Takes the lock on `path` without waiting and writes this process's id
// into the file.  The file is created (mode 0600) when missing, never
// through a link, and must be a regular file of this process's user.
//
// The descriptor returned stays open across exec on purpose: the children
// of the holder hold the lock too, so that a tool still at work after its
// parent was killed keeps others out until it ends.
//
// When another process holds the lock, the result is invalid, `holder` is
// the process id written in the file (0 when there is none) and `why` is
// empty; on any other failure `why` names the step and the reason.
[[nodiscard]] UniqueFd lock_file(const std::string& path, pid_t& holder, std::string& why);

// Takes the same lock shared, without waiting, for a process that only
// looks at the host: no holder of the exclusive lock can begin while it is
// held.  Nothing is created or written, and the descriptor is close-on-exec.
// A missing file gives an invalid result with `held` false and `why` empty
// (no run has ever held it); a lock held by a run gives an invalid result
// with `held` true and `holder` its process id (0 when unknown); any other
// failure names the step in `why`.
[[nodiscard]] UniqueFd share_lock_file(const std::string& path, bool& held, pid_t& holder, std::string& why);

}  // namespace sys
