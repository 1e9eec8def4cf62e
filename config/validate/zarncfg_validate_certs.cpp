// The copy of the LDAP SSL CA certificate into the certificate directory,
// where the daemons' configuration files point to it.
#include "zarncfg_validate.h"

#include <sys/stat.h>
#include <unistd.h>

#include "zarncfg_process.h"
#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

namespace {

constexpr mode_t kCertMode = 0660;

std::string_view base_name(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

void zarncfg_copy_to_certs(ConfigRecord& record, int index, const std::string& source, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_copy_to_certs");
  const std::string destination = std::string(ZARN_CERTS_DIR) + "/" + std::string(base_name(source));
  const std::string command = "cp " + zarncfg_shell_word(source) + " " + zarncfg_shell_word(destination);
  ScopedFile output;
  if (zarncfg_popen(command, "", output) != 0) {
    status = msg_id(1371);
    print_and_log_error(msg_id(1371), source, destination);
    return;
  }
  if (index >= 0 && static_cast<std::size_t>(index) < record.size()) {
    record[static_cast<std::size_t>(index)].value = destination;
  }
  vd_msgid_t lookup = 0;
  const uid_t owner = zarncfg_get_pw_uid("root", lookup);
  const gid_t group = lookup == 0 ? zarncfg_get_group_gid("brevik", lookup) : 0;
  if (lookup != 0) {
    status = lookup;
    return;
  }
  if (access(destination.c_str(), F_OK) == 0) {
    zarncfg_set_owner_and_mode(destination, owner, group, kCertMode);
  } else {
    log_warning(msg_id(20), destination);
  }
}
