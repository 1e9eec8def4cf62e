// What a run that was stopped (by a signal, or refused) must leave: the
// configuration files and the store as they were, nothing of the run's own
// bookkeeping, no secret.
#pragma once

#include <string>
#include <vector>

#include "e2e/host_fixture.h"
#include "fault_check.h"

namespace rel {

// Problems found, empty when the host is as it was.  A failed first
// configuration keeps zarnd.conf and brevik.conf only as ".partial" files
// and may keep the other files it created (they have no backup).
std::vector<std::string> rollback_problems(const e2e::TempHost& host, const HostState& before,
                                           bool first_configuration);

// The configuration files hold what they held in `expected`, owner and mode
// included.
std::vector<std::string> file_differences(const std::map<std::string, FileState>& expected,
                                          const std::map<std::string, FileState>& found);

}  // namespace rel
