// Where the product's fixed paths (/opt/zarn, /var/zarn, /etc/rc.d, /tmp)
// lie for this process.  A run uses them as they are; a test puts them
// under a scratch directory, so that the steps that create, check or remove
// files there run without root and never touch the machine.  Only the
// program's own file operations go through here: the command lines it runs
// name the host's paths as they are.
#pragma once

#include <string>
#include <string_view>

std::string zarncfg_host_path(std::string_view path);

// Puts the fixed paths under `root` while it lives.
class HostRootScope {
 public:
  explicit HostRootScope(std::string root);
  ~HostRootScope();
  HostRootScope(const HostRootScope&) = delete;
  HostRootScope& operator=(const HostRootScope&) = delete;

 private:
  std::string previous_;
};
