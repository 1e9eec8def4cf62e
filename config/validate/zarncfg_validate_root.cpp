// The root check, made first in every run.
#include <unistd.h>

#include "zarncfg_report.h"
#include "zarncfg_validate.h"

int zarncfg_verify_root_user(vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_verify_root_user");
  if (geteuid() != 0) {
    status = msg_id(1338);
    print_and_log_error(msg_id(1338));
    return 0;
  }
  // The commands this program starts must run as root too.
  if (setuid(0) != 0) {
    status = msg_id(1338);
    print_and_log_error(msg_id(1338));
    return 0;
  }
  return 1;
}
