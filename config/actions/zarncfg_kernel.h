// The kernel step of a configuration.
#pragma once

#include "zarncfg_msg.h"

// Announces itself only: the kernel part is started by its init script,
// which the autostart links bring into the run levels.
void zarncfg_configure_kernel(vd_msgid_t& status);
