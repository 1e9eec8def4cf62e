// zarnhost: creates simulated hosts and runs commands in them, for demos and
// for trying the installed product by hand.  Every failure of its own exits
// with 125, so that it cannot be mistaken for the status of a command run
// in the host.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "hostsim/create.h"
#include "hostsim/enter.h"
#include "zarnhost_args.h"

namespace {

int create(const hostsim::CreateRequest& request) {
  hostsim::create_host(request.dir, request.options);
  return 0;
}

[[noreturn]] void run(const hostsim::RunRequest& request) {
  hostsim::exec_in_host(request.dir, request.command, request.user, request.cwd);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  hostsim::ZarnhostRequest request;
  try {
    request = hostsim::parse_zarnhost_args(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zarnhost: %s\n%s", e.what(), hostsim::kZarnhostUsage);
    return hostsim::kSetupFailureStatus;
  }
  if (const auto* run_request = std::get_if<hostsim::RunRequest>(&request)) run(*run_request);
  try {
    return create(std::get<hostsim::CreateRequest>(request));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zarnhost: %s\n", e.what());
    return hostsim::kSetupFailureStatus;
  }
}
