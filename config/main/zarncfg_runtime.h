// Whether the Varden runtime the product builds on is configured.
#pragma once

#include "zarncfg_msg.h"

// 0 when the runtime's marker file exists or its vd.conf says "configured =
// yes"; else ZRNCF1362E (not printed).
void zarncfg_is_vdrte_configured(vd_msgid_t& status);
