// What a failed run must leave: the configuration files, the store and the
// watched directories as they were, no secret anywhere.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "e2e/host_fixture.h"
#include "fault_steps.h"
#include "rel_common.h"

namespace rel {

struct HostState {
  std::map<std::string, FileState> conf_files;
  std::string store;
  std::set<std::string> paths;
};

HostState capture(const e2e::TempHost& host);

struct RunVerdict {
  bool reached = true;            // the injected fault was met
  std::vector<std::string> problems;  // empty: the host was restored and nothing leaked
  std::vector<std::string> kept;      // effects outside the configuration files that stay by design
  int leaks = 0;
};

RunVerdict judge(const FaultStep& step, const e2e::TempHost& host, const hostsim::RunResult& run,
                 const HostState& before);

}  // namespace rel
