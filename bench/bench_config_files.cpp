#include "bench_config_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

#include "bench_support.h"
#include "sys_child.h"
#include "sys_fd.h"

namespace bench {

double cp_and_fsync_ms(const std::string& source, const std::string& copy) {
  const Stopwatch watch;
  auto cp = sys::Child::start(sys::ChildSpec("/bin/cp", {"cp", source, copy}));
  const sys::ExitStatus end = cp ? cp->wait().value_or(sys::ExitStatus{}) : sys::ExitStatus{};
  const sys::UniqueFd fd = sys::open_fd(copy, O_WRONLY);
  if (end.code != 0 || !fd.valid() || ::fsync(fd.get()) != 0) {
    throw std::runtime_error("cp " + source + " " + copy + " and fsync failed");
  }
  return watch.seconds() * 1000;
}

std::string zarnd_conf_of_size(std::size_t bytes) {
  std::string text =
      "[zarncfg]\nsuffix = o=zarn\nautostart = on\nlogin-policy = on\nstate = on\n\n"
      "[ldap]\nssl-enabled = yes\nldap-server-config = /opt/Varden/lib/ldap.conf\n\n"
      "[ssl]\nssl-listening-port = 7134\n\n[zarnd]\nlogs = 2\n";
  text.reserve(bytes + 4096);
  for (int stanza = 0; text.size() < bytes; ++stanza) {
    text += "\n[monitored-" + std::to_string(stanza) + "]\n";
    for (int entry = 0; entry < 40 && text.size() < bytes; ++entry) {
      text += "path-" + std::to_string(entry) + " = /opt/app/" + std::to_string(stanza) + "/lib/file-" +
              std::to_string(entry) + ".so\n";
    }
  }
  return text;
}

std::string size_name(std::size_t bytes) {
  if (bytes >= 1024 * 1024) return std::to_string(bytes / (1024 * 1024)) + " MB";
  return std::to_string(bytes / 1024) + " KB";
}

}  // namespace bench
