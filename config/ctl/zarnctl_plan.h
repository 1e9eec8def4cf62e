// `zarnctl plan ARGS...`: what a zarncfg run with these arguments would do,
// shown before anything is done.  The input passes and the validation run
// as in a run (without a prompt), then the prerequisites are checked, then
// the configuration steps run against a recording command runner and an
// in-memory view of the files.  Nothing on the host or in the policy store
// changes, and nothing is logged.
#pragma once

#include <string>
#include <vector>

inline constexpr int PLAN_NO_CHANGE = 0;
inline constexpr int PLAN_PROBLEMS = 1;
inline constexpr int PLAN_CHANGES = 2;

// `args` as zarncfg would get them, the program's name first.
int zarnctl_plan(std::vector<std::string> args);
