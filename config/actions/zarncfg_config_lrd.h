// Configuring the log router daemon, on request and before the rest of the
// configuration.
#pragma once

#include "zarncfg_record.h"

// Writes zarnlrd.conf; on a request to configure a daemon not yet
// configured, registers it with the policy server, records its state and
// resets its XML configuration from the template.  The driver passes the
// request 1; lrd_status is left alone.
void zarncfg_configure_zarnlrd(int request, ConfigRecord& record, int& lrd_status, vd_msgid_t& status);
