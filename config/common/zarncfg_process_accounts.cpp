// Look-ups of user and group identifiers by name, and owner and mode
// changes.
#include "zarncfg_process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <grp.h>
#include <pwd.h>

#include <cerrno>
#include <optional>

#include "sys_fd.h"
#include "zarncfg_svc.h"

uid_t zarncfg_get_pw_uid(const std::string& name, vd_msgid_t& status) {
  std::optional<uid_t> found;
  setpwent();
  while (const passwd* entry = getpwent()) {
    if (name == entry->pw_name) {
      found = entry->pw_uid;
      break;
    }
  }
  endpwent();
  if (found) return *found;
  status = msg_id(1344);
  print_and_log_error(msg_id(1344), name);
  return 0;
}

gid_t zarncfg_get_group_gid(const std::string& name, vd_msgid_t& status) {
  std::optional<gid_t> found;
  setgrent();
  while (const group* entry = getgrent()) {
    if (name == entry->gr_name) {
      found = entry->gr_gid;
      break;
    }
  }
  endgrent();
  if (found) return *found;
  status = msg_id(1345);
  print_and_log_error(msg_id(1345), name);
  return 0;
}

// Never through a link: a root program must not hand a file it did not
// mean to the daemons' group.  A configuration file that an administrator
// has linked elsewhere is still written through the link, but its target
// keeps the owner and mode it has.
void zarncfg_set_owner_and_mode(const std::string& path, uid_t owner, gid_t group, mode_t mode) {
  const sys::UniqueFd file = sys::open_fd(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (!file.valid() && errno == ELOOP) {
    log_warning(msg_id(1404), path);
    return;
  }
  trace(msg_id(349), path);
  const long chown_result = file.valid() ? fchown(file.get(), owner, group) : -1;
  trace(msg_id(359), "chown", chown_result);
  trace(msg_id(356), path);
  const long chmod_result = file.valid() ? fchmod(file.get(), mode) : -1;
  trace(msg_id(359), "chmod", chmod_result);
}
