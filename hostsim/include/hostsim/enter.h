// Entering a simulated host.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace hostsim {

// Status of a run whose set-up failed before the command could start.
inline constexpr int kSetupFailureStatus = 125;
// As shells report a command that cannot be executed or found.
inline constexpr int kCannotExecuteStatus = 126;
inline constexpr int kNotFoundStatus = 127;

// Enters the host and replaces the current process with `argv`, as root or
// as `user` (a name from the host's /etc/passwd), in `cwd` inside the host.
// Standard input, output and error pass through unchanged.  On failure it
// prints a message on stderr and exits with one of the statuses above.
[[noreturn]] void exec_in_host(const std::filesystem::path& dir, const std::vector<std::string>& argv,
                               const std::optional<std::string>& user, const std::string& cwd);

}  // namespace hostsim
