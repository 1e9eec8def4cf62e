// Removing a simulated host, and what could make that unsafe.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace hostsim {

// Processes whose root directory is the host, e.g. daemons that outlived the
// run that started them.
std::vector<pid_t> processes_in_host(const std::filesystem::path& dir);
// Kills them and waits (within a safety limit) until none is left.
void kill_processes_in_host(const std::filesystem::path& dir);

// Mount points at or below `dir` in this process's mount namespace, from a
// /proc/self/mountinfo text.  Hosts mount only in their runs' own
// namespaces, so for a host directory this is always empty.
std::vector<std::string> mount_points_under(std::string_view mountinfo, const std::filesystem::path& dir);
std::vector<std::string> mount_points_under(const std::filesystem::path& dir);

// Kills what still runs in the host and deletes the directory.  Refuses
// (std::runtime_error) while anything is mounted below it: deleting through
// a bind mount of /dev would delete the real one.
void remove_host(const std::filesystem::path& dir);

}  // namespace hostsim
