// Stand-in for the event console configuration command
// /opt/zarn/bin/zarnevccfg.  "-autostart off -sec_master_pwd <pwd>" records
// "off" in /var/zarn/run/zarnevcd.autostart; the password is kept nowhere
// but in the invocation log line.  /var/zarn/run/fail.zarnevccfg makes it fail.
#include <cstdio>
#include <string>
#include <string_view>

#include "standin_common.h"

int main(int argc, char** argv) {
  if (auto failure = standin_begin(argc, argv, "zarnevccfg")) return *failure;
  if (argc != 5 || std::string_view(argv[1]) != "-autostart" ||
      (std::string_view(argv[2]) != "on" && std::string_view(argv[2]) != "off") ||
      std::string_view(argv[3]) != "-sec_master_pwd") {
    std::fprintf(stderr, "usage: zarnevccfg -autostart on|off -sec_master_pwd <password>\n");
    return 2;
  }
  if (!standin_write_file(std::string(STANDIN_RUN_DIR) + "/zarnevcd.autostart", std::string(argv[2]) + "\n",
                          0644)) {
    std::fprintf(stderr, "zarnevccfg: the autostart setting could not be recorded\n");
    return 1;
  }
  return 0;
}
