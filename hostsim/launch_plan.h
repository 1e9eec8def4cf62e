// Entering a host in two halves: everything that can fail in an ordinary way
// (reading the host's files, finding the user) is done before a fork, with
// exceptions; the other half only makes system calls, so it is safe in a
// freshly forked child.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "accounts.h"

namespace hostsim {

class LaunchPlan {
 public:
  // Throws std::runtime_error.
  LaunchPlan(const std::filesystem::path& dir, const std::vector<std::string>& argv,
             const std::optional<std::string>& user, const std::string& cwd);
  // The exec vectors point into the plan's own strings.
  LaunchPlan(const LaunchPlan&) = delete;
  LaunchPlan& operator=(const LaunchPlan&) = delete;

  // Enters the host and executes the command; on failure writes a message
  // to stderr and _exit()s with kSetupFailureStatus (or 126/127 when the
  // command cannot be executed or found).  `inside`, when given, runs once
  // the process is in the host, still as root and before it takes the
  // user's identity; like the rest, it only makes system calls.
  [[noreturn]] void enter_and_exec(const std::function<void()>& inside = {}) const;
  // Only enters the host: the process then runs in it as root, in "/".
  // Failures end it as above.
  void enter() const;

 private:
  struct DeviceNode {
    std::string path;  // in the host directory
    dev_t number;      // as the machine's node of the same name
  };

  void mount_system_dirs() const;
  void make_device_dir() const;
  void become_user() const;

  std::string root_;
  std::string usr_target_;
  std::string dev_target_;
  std::vector<DeviceNode> devices_;
  std::string pts_target_;
  std::vector<std::pair<std::string, std::string>> dev_links_;  // link, target
  std::string proc_target_;
  std::string varden_target_;
  std::optional<std::string> shared_varden_;
  std::string socket_target_;
  std::optional<std::string> server_socket_;
  std::string hostname_;
  std::string cwd_;
  std::optional<Account> account_;
  std::string user_;
  std::vector<std::string> argv_;
  std::vector<std::string> env_;
  std::vector<char*> argv_ptrs_;
  std::vector<char*> env_ptrs_;
};

}  // namespace hostsim
