// Look-ups of user and group identifiers by name.
#include "zarncfg_process.h"

#include <sys/stat.h>
#include <unistd.h>
#include <grp.h>
#include <pwd.h>

#include <optional>

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

void zarncfg_set_owner_and_mode(const std::string& path, uid_t owner, gid_t group, mode_t mode) {
  trace(msg_id(349), path);
  const long chown_result = chown(path.c_str(), owner, group);
  trace(msg_id(359), "chown", chown_result);
  trace(msg_id(356), path);
  const long chmod_result = chmod(path.c_str(), mode);
  trace(msg_id(359), "chmod", chmod_result);
}
