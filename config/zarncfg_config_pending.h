// Helpers of the policy administration module that the configuration
// actions use, declared here until its header carries them.
#pragma once

#include <string>

#include "zarncfg_record.h"

void zarncfg_initialize_kxadmin_context(ConfigRecord& record, const std::string& program, vd_msgid_t& status);
void zarncfg_define_default_policies(ConfigRecord& record, vd_msgid_t& status);
