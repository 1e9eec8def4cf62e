// The autostart links: removed, and created again when enabled.
#include "zarncfg_process.h"

#include <unistd.h>

#include "zarncfg_file_writes.h"
#include "zarncfg_host_path.h"
#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

namespace {

// Creates one link; false (with the failure reported) when it was not made.
bool create_soft_link(std::string_view entry, const std::string& target, const std::string& link,
                      vd_msgid_t& status) {
  if (access(zarncfg_host_path(target).c_str(), F_OK) != 0) {
    status = msg_id(1311);
    print_and_log_error(msg_id(1311), target);
    return false;
  }
  const std::string command = "/bin/ln -f -s " + zarncfg_shell_word(target) + " " + zarncfg_shell_word(link);
  ScopedFile output;
  if (zarncfg_popen(command, "", output) != 0) {
    status = msg_id(1313);
    print_and_log_error(msg_id(1313), entry);
    return false;
  }
  return true;
}

}  // namespace

void zarncfg_configure_soft_links(std::span<const std::string_view> links, int enable, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_configure_soft_links");
  status = 0;
  for (const std::string_view entry : links) {
    if (entry.empty()) break;
    const auto blank = entry.find(' ');
    if (blank == std::string_view::npos) {
      status = msg_id(1389);
      print_and_log_error(msg_id(1389));
      return;
    }
    const std::string target(entry.substr(0, blank));
    const std::string link(entry.substr(blank + 1));
    trace(msg_id(391), link);
    // A link that is not there yet is what we want anyway.
    current_file_writes().remove(zarncfg_host_path(link));
    if (enable != 1) continue;
    // A failure is reported and kept in the status; the other links are still made.
    (void)create_soft_link(entry, target, link, status);
  }
}
