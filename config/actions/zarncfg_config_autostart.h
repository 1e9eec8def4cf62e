// Run-level links that start and stop the product at boot and shutdown.
#pragma once

#include <array>
#include <string_view>

#include "zarncfg_record.h"

// Each row: the link's target, one blank, the link's path.  In run levels 2
// to 5 the kernel part starts (S87) before the daemons (S88); in 0, 1 and 6
// the daemons stop (K12) before the kernel part (K13).
inline constexpr std::array<std::string_view, 8> linux_file_links_S = {
    "/etc/rc.d/init.d/kbrevik /etc/rc.d/rc2.d/S87kbrevik", "/etc/rc.d/init.d/kbrevik /etc/rc.d/rc3.d/S87kbrevik",
    "/etc/rc.d/init.d/kbrevik /etc/rc.d/rc4.d/S87kbrevik", "/etc/rc.d/init.d/kbrevik /etc/rc.d/rc5.d/S87kbrevik",
    "/etc/rc.d/init.d/brevik /etc/rc.d/rc2.d/S88brevik",   "/etc/rc.d/init.d/brevik /etc/rc.d/rc3.d/S88brevik",
    "/etc/rc.d/init.d/brevik /etc/rc.d/rc4.d/S88brevik",   "/etc/rc.d/init.d/brevik /etc/rc.d/rc5.d/S88brevik",
};
inline constexpr std::array<std::string_view, 6> linux_file_links_K = {
    "/etc/rc.d/init.d/kbrevik /etc/rc.d/rc0.d/K13kbrevik", "/etc/rc.d/init.d/kbrevik /etc/rc.d/rc1.d/K13kbrevik",
    "/etc/rc.d/init.d/kbrevik /etc/rc.d/rc6.d/K13kbrevik", "/etc/rc.d/init.d/brevik /etc/rc.d/rc0.d/K12brevik",
    "/etc/rc.d/init.d/brevik /etc/rc.d/rc1.d/K12brevik",   "/etc/rc.d/init.d/brevik /etc/rc.d/rc6.d/K12brevik",
};

// What the links become, by the state of the host and -autostart.
enum class AutostartPlan {
  leave_alone,
  create_start_links,
  remove_start_links,
  create_stop_links,
  create_stop_then_start_links,
};

AutostartPlan zarncfg_autostart_plan(bool already_configured, bool autostart_given, bool autostart_on);

void zarncfg_setup_autostart(const ConfigRecord& record, vd_msgid_t& status);
