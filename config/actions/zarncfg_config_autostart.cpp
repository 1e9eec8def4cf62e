// A first configuration installs the stop links and, unless autostart is
// off, the start links; a reconfiguration only ever changes the start links.
#include "zarncfg_config_autostart.h"

#include "zarncfg_process.h"
#include "zarncfg_svc.h"

AutostartPlan zarncfg_autostart_plan(bool already_configured, bool autostart_given, bool autostart_on) {
  const bool on = autostart_given && autostart_on;
  if (already_configured) {
    if (!autostart_given) return AutostartPlan::leave_alone;
    return on ? AutostartPlan::create_start_links : AutostartPlan::remove_start_links;
  }
  if (autostart_given && !on) return AutostartPlan::create_stop_links;
  return AutostartPlan::create_stop_then_start_links;
}

void zarncfg_setup_autostart(const ConfigRecord& record, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_setup_autostart");
  const ConfigEntry& autostart = record[IDX_AUTOSTART];
  const bool given = autostart.has(CFG_SET);
  switch (zarncfg_autostart_plan(is_already_configured(record), given, given && autostart.value == "on")) {
    case AutostartPlan::leave_alone:
      return;
    case AutostartPlan::create_start_links:
      zarncfg_configure_soft_links(linux_file_links_S, 1, status);
      return;
    case AutostartPlan::remove_start_links:
      zarncfg_configure_soft_links(linux_file_links_S, 0, status);
      return;
    case AutostartPlan::create_stop_links:
      zarncfg_configure_soft_links(linux_file_links_K, 1, status);
      return;
    case AutostartPlan::create_stop_then_start_links:
      zarncfg_configure_soft_links(linux_file_links_K, 1, status);
      if (status == 0) zarncfg_configure_soft_links(linux_file_links_S, 1, status);
      return;
  }
}
