// Stand-in for the login policy tool /opt/zarn/bin/zarnlpadm.
// "-c on|off" records the login policy in /var/zarn/run/login-policy;
// any other use exits 2.  /var/zarn/run/fail.zarnlpadm makes it fail.
#include <cstdio>
#include <string_view>

#include "standin_common.h"

int main(int argc, char** argv) {
  if (auto failure = standin_begin(argc, argv, "zarnlpadm")) return *failure;
  if (argc != 3 || std::string_view(argv[1]) != "-c" ||
      (std::string_view(argv[2]) != "on" && std::string_view(argv[2]) != "off")) {
    std::fprintf(stderr, "usage: zarnlpadm -c on|off\n");
    return 2;
  }
  if (!standin_write_file(std::string(STANDIN_RUN_DIR) + "/login-policy", std::string(argv[2]) + "\n", 0644)) {
    std::fprintf(stderr, "zarnlpadm: the login policy could not be recorded\n");
    return 1;
  }
  return 0;
}
