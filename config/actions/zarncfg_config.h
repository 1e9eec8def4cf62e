// Configuration actions: the daemons' files, registration, links, state.
#pragma once

#include <string>

#include "zarncfg_record.h"

void zarncfg_config(ConfigRecord& record, int& registered, vd_msgid_t& status);
void zarncfg_configure_zarnlrd(int request, ConfigRecord& record, int& lrd_status, vd_msgid_t& status);
void zarncfg_unconfig_zarnlrd(const std::string& password, int& lrd_status, vd_msgid_t& status);
// request 1 registers the security daemon, 2 unregisters it.
void zarncfg_register_with_vd(int request, ConfigRecord& record, int& registered, vd_msgid_t& status);
