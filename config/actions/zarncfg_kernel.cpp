// On Linux the kernel part needs no configuration of its own here.
#include "zarncfg_kernel.h"

#include "zarncfg_report.h"

void zarncfg_configure_kernel(vd_msgid_t&) {
  FunctionTrace scope("zarncfg_configure_kernel");
  print_and_trace(msg_id(321));
}
