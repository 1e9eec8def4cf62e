// Registration of the security daemon with the Varden Policy Server, and
// its SSL listening port and CA certificate, through the SSL configuration
// tool.
#pragma once

#include "zarncfg_record.h"

// Request 1 registers the security daemon (not on a host configured
// before); request 2 unregisters it.
void zarncfg_register_with_vd(int request, ConfigRecord& record, int& registered, vd_msgid_t& status);

// 1 when the installed policy server runtime is version 3.7.
int zarncfg_isVD37();
// On a reconfiguration that gives the port (or the certificate) in this run.
void zarncfg_update_ssl_listening_port(const ConfigRecord& record, vd_msgid_t& status);
void zarncfg_update_cakdb(const ConfigRecord& record, vd_msgid_t& status);
