// Component library: common serviceability start-up, the program's name and
// whether the product's daemons run.  platform/svc holds our implementation.
#pragma once

#include <string>
#include <string_view>

#include "vd_svc.h"

void brv_svc_initialize(std::string_view program_path, vd_status_t& status);
std::string brv_get_progname();

// Asks whether the daemons run: status 0 when they answer.  `which` 0 asks
// the security daemon; `answer` receives the daemon's process id when it runs.
// Our implementation reads the pid in /var/zarn/run/zarnd.pid and tests
// that process with kill(pid, 0).
void brv_daemon_ping(int which, int& answer, vd_status_t& status);
