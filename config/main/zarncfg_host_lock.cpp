#include "zarncfg_host_lock.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "sys_fd.h"
#include "sys_lock.h"
#include "zarncfg_svc.h"

bool zarncfg_lock_host(vd_msgid_t& status) {
  // Held until the process ends; its children keep their copies.
  static sys::UniqueFd lock;
  if (mkdir(ZARNCFG_RUN_DIR, 0755) != 0 && errno != EEXIST) {
    status = msg_id(1406);
    print_and_log_error(msg_id(1406), ZARNCFG_LOCK_FILE, std::string("mkdir: ") + std::strerror(errno));
    return false;
  }
  pid_t holder = 0;
  std::string why;
  lock = sys::lock_file(ZARNCFG_LOCK_FILE, holder, why);
  if (lock.valid()) return true;
  if (why.empty()) {
    status = msg_id(1395);
    print_and_log_error(msg_id(1395), static_cast<int>(holder));
  } else {
    status = msg_id(1406);
    print_and_log_error(msg_id(1406), ZARNCFG_LOCK_FILE, why);
  }
  return false;
}

bool zarncfg_share_host_lock(vd_msgid_t& status) {
  // Held until the process ends.
  static sys::UniqueFd lock;
  bool held = false;
  pid_t holder = 0;
  std::string why;
  lock = sys::share_lock_file(ZARNCFG_LOCK_FILE, held, holder, why);
  if (lock.valid() || (!held && why.empty())) return true;
  status = held ? msg_id(1395) : msg_id(1406);
  if (held) {
    vd_printf(msg_id(1395), static_cast<int>(holder));
  } else {
    vd_printf(msg_id(1406), ZARNCFG_LOCK_FILE, why);
  }
  return false;
}

bool zarncfg_host_lock_held(long& holder) {
  bool held = false;
  pid_t pid = 0;
  std::string why;
  const sys::UniqueFd look = sys::share_lock_file(ZARNCFG_LOCK_FILE, held, pid, why);
  holder = pid;
  return held;
}
