// How a run in a simulated host reports a failure of its own, before or
// instead of the command: as a shell would for a command it cannot run.
#pragma once

namespace hostsim {

// Status of a run whose set-up failed before the command could start.
inline constexpr int kSetupFailureStatus = 125;
// As shells report a command that cannot be executed or found.
inline constexpr int kCannotExecuteStatus = 126;
inline constexpr int kNotFoundStatus = 127;

}  // namespace hostsim
