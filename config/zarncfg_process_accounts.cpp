// Look-ups of user and group identifiers by name.
#include <grp.h>
#include <pwd.h>

#include <optional>

#include "zarncfg_process.h"
#include "zarncfg_report.h"

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
