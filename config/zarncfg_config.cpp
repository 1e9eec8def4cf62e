// Placeholder until the configuration actions exist: a run that reaches
// them must not report success.
#include "zarncfg_config.h"

#include "zarncfg_report.h"

void zarncfg_config(ConfigRecord&, int&, vd_msgid_t& status) {
  print_and_log_error(msg_id(1339), "Configuring Zarn");
  status = msg_id(1339);
}
void zarncfg_configure_zarnlrd(int, ConfigRecord&, int&, vd_msgid_t& status) {
  print_and_log_error(msg_id(1391));
  status = msg_id(1391);
}
void zarncfg_unconfig_zarnlrd(const std::string&, int&, vd_msgid_t& status) {
  print_and_log_error(msg_id(1394));
  status = msg_id(1394);
}
void zarncfg_register_with_vd(int, ConfigRecord&, int&, vd_msgid_t& status) { status = 0; }
