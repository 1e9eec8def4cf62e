// zarnctl: looks at a host without changing it.  "plan" previews a
// configuration run, "status" tells the host's state.
#include <cstdio>
#include <string>
#include <vector>

#include "zarncfg_svc.h"
#include "zarnctl_plan.h"
#include "zarnctl_status.h"

namespace {

constexpr const char* kUsage =
    "Usage: zarnctl plan ZARNCFG-OPTIONS...\n"
    "       zarnctl status [--json]\n";

int usage() {
  std::fputs(kUsage, stderr);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  if (args.size() < 2) return usage();
  vd_status_t status = 0;
  // The catalog only: a look at the host writes no log.
  zarncfg_svc_initialize_unlogged(args[0], status);
  if (status != 0) return 1;
  if (args[1] == "plan") {
    std::vector<std::string> run_args = {"zarncfg"};
    run_args.insert(run_args.end(), args.begin() + 2, args.end());
    return zarnctl_plan(std::move(run_args));
  }
  if (args[1] == "status" && args.size() == 2) return zarnctl_status(false);
  if (args[1] == "status" && args.size() == 3 && args[2] == "--json") return zarnctl_status(true);
  return usage();
}
