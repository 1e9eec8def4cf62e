#include "zarncfg_interrupt.h"

#include "sys_signals.h"
#include "zarncfg_svc.h"

bool zarncfg_interrupted(vd_msgid_t& status) {
  static bool reported = false;
  const int signal_number = sys::first_termination_signal();
  if (signal_number == 0) return false;
  if (!reported) {
    reported = true;
    print_and_log_error(msg_id(1396), sys::signal_name(signal_number));
  }
  if (status == 0) status = msg_id(1396);
  return true;
}

bool zarncfg_tool_was_interrupted() { return sys::first_termination_signal() != 0; }
