#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "hostsim/enter.h"
#include "launch_plan.h"

namespace hostsim {

namespace {

[[noreturn]] void fail_setup(const std::exception& e) {
  std::fprintf(stderr, "zarnhost: %s\n", e.what());
  std::fflush(stderr);
  ::_exit(kSetupFailureStatus);
}

}  // namespace

void exec_in_host(const std::filesystem::path& dir, const std::vector<std::string>& argv,
                  const std::optional<std::string>& user, const std::string& cwd) {
  try {
    const LaunchPlan plan(dir, argv, user, cwd);
    plan.enter_and_exec();
  } catch (const std::exception& e) {
    fail_setup(e);
  }
}

void enter_host(const std::filesystem::path& dir) {
  try {
    const LaunchPlan plan(dir, {"/bin/true"}, std::nullopt, "/");
    plan.enter();
  } catch (const std::exception& e) {
    fail_setup(e);
  }
}

}  // namespace hostsim
