// Registration of the security daemon with the Varden Policy Server, and
// its SSL listening port and CA certificate, through the SSL configuration
// tool.  zarncfg_register_with_vd is declared in zarncfg_config.h.
#pragma once

#include "zarncfg_record.h"

// 1 when the installed policy server runtime is version 3.7.
int zarncfg_isVD37();
// On a reconfiguration that gives the port (or the certificate) in this run.
void zarncfg_update_ssl_listening_port(const ConfigRecord& record, vd_msgid_t& status);
void zarncfg_update_cakdb(const ConfigRecord& record, vd_msgid_t& status);
