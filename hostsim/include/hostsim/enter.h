// Entering a simulated host.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "hostsim/setup_status.h"

namespace hostsim {

// Enters the host and replaces the current process with `argv`, as root or
// as `user` (a name from the host's /etc/passwd), in `cwd` inside the host.
// Standard input, output and error pass through unchanged.  On failure it
// prints a message on stderr and exits with one of the statuses above.
[[noreturn]] void exec_in_host(const std::filesystem::path& dir, const std::vector<std::string>& argv,
                               const std::optional<std::string>& user, const std::string& cwd);

// Enters the host and stays in it, as root in "/": for a test's child
// process that calls the program's own functions on the host's fixed
// paths.  On failure it prints a message on stderr and exits with
// kSetupFailureStatus.
void enter_host(const std::filesystem::path& dir);

}  // namespace hostsim
