// Every step of a configuration run that can fail, with the way to make
// exactly that step fail and the message the program must then give.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "e2e/host_fixture.h"

namespace rel {

enum class Scenario { first_configuration, reconfiguration };

struct FaultStep {
  Scenario scenario;
  std::string name;
  // Prepares the fault in a host that is ready for the run.
  std::function<void(const e2e::TempHost&)> inject;
  // The step's own message; empty when the program tolerates the fault by
  // design (a failed listing counts as an empty one), so that the run may
  // either succeed or fail and restore.
  std::string message;
  // Made through the policy store: `kxadmin fault list` must be empty after the run.
  bool store_fault = false;
};

// The policy commands of the installed command files, in the order a first
// configuration on an empty store applies them, as `kxadmin fault`
// arguments: "<api> <object name>".
std::vector<std::string> policy_command_faults(const e2e::TempHost& host, const std::string& branch,
                                               const std::string& daemon_user);

std::vector<FaultStep> first_configuration_steps(const e2e::TempHost& host);
std::vector<FaultStep> reconfiguration_steps();

const char* scenario_name(Scenario scenario);

}  // namespace rel
