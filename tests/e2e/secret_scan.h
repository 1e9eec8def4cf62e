// Looks for a password in clear everywhere a simulated host keeps data, so
// that any test can check that a run leaked none.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/host_fixture.h"

namespace e2e {

// Where the stand-ins record their command lines.
inline constexpr const char* kStandinsLog = "/var/zarn/run/standins.log";

// The places in the host that hold `secret` in clear, one description each
// ("/opt/zarn/etc/Ab12Cd", "/var/zarn/run/standins.log:3: <line>"); empty
// when there is none.  Searched: every regular file under the host's root
// but the system's /usr, /dev and /proc (the policy store's files included:
// they must hold only a salted hash), and file names.  Not counted: the
// lines of the stand-ins' invocation log for the command lines on which
// the program itself puts the security master password, the event console
// command and the log router's registration and unregistration.
std::vector<std::string> find_secret(const std::filesystem::path& host_dir, std::string_view secret);
inline std::vector<std::string> find_secret(const TempHost& host, std::string_view secret) {
  return find_secret(host.dir(), secret);
}

// Whether a line of the stand-ins' invocation log is one of those command lines.
bool is_sanctioned_command_line(std::string_view line);

}  // namespace e2e
