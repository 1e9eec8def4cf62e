// Component library: program name and daemon liveness.
#include "brv_component.h"

#include <signal.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <string>

namespace {

constexpr vd_status_t kNoProgramPath = 0x35B00001;
constexpr vd_status_t kDaemonNotRunning = 0x35B00002;
constexpr const char* kZarndPidFile = "/var/zarn/run/zarnd.pid";

std::string& program_name() {
  static std::string name;
  return name;
}

}  // namespace

void brv_svc_initialize(std::string_view program_path, vd_status_t& status) {
  if (program_path.empty()) {
    status = kNoProgramPath;
    return;
  }
  const auto slash = program_path.rfind('/');
  program_name() = std::string(slash == std::string_view::npos ? program_path : program_path.substr(slash + 1));
  status = 0;
}

std::string brv_get_progname() { return program_name().empty() ? std::string("zarncfg") : program_name(); }

void brv_daemon_ping(int /*which*/, int& answer, vd_status_t& status) {
  status = kDaemonNotRunning;
  std::ifstream file(kZarndPidFile);
  std::string line;
  if (!std::getline(file, line)) return;
  long pid = 0;
  const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), pid);
  if (error != std::errc() || pid <= 0 || pid > 0x3FFFFFFF) return;
  // EPERM still means that a process of that id exists.
  if (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) {
    answer = static_cast<int>(pid);
    status = 0;
  }
}
