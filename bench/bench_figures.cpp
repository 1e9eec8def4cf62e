#include "bench_figures.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "sys_child.h"
#include "sys_fd.h"

namespace bench {

double milliseconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void print_row(std::string_view what, double figure, double floor, std::string_view floor_what,
               std::string_view unit) {
  const std::string u(unit);
  std::printf("  %-44.*s %9.2f %-4s floor %9.2f %-4s %-34.*s ratio %6.2fx\n", static_cast<int>(what.size()),
              what.data(), figure, u.c_str(), floor, u.c_str(), static_cast<int>(floor_what.size()), floor_what.data(),
              floor > 0 ? figure / floor : 0.0);
  std::fflush(stdout);
}

void print_heading(std::string_view heading) {
  std::printf("%.*s\n", static_cast<int>(heading.size()), heading.data());
  std::fflush(stdout);
}

double cp_and_fsync_ms(const std::string& source, const std::string& copy) {
  const auto start = std::chrono::steady_clock::now();
  auto cp = sys::Child::start(sys::ChildSpec("/bin/cp", {"cp", source, copy}));
  const sys::ExitStatus end = cp ? cp->wait().value_or(sys::ExitStatus{}) : sys::ExitStatus{};
  const sys::UniqueFd fd = sys::open_fd(copy, O_WRONLY);
  if (end.code != 0 || !fd.valid() || ::fsync(fd.get()) != 0) {
    throw std::runtime_error("cp " + source + " " + copy + " and fsync failed");
  }
  return milliseconds_since(start);
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
