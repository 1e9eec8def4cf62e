// Validation of the merged option values, and the root check.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "zarncfg_record.h"

// 1 when the effective user is root (the real user is then set to root too).
int zarncfg_verify_root_user(vd_msgid_t& status);

void zarncfg_validate(ConfigRecord& record, const std::string& start_directory,
                      std::span<const ConfigOptionDef> options, std::span<const int> required,
                      std::span<const MinMaxRequirement> requirements, std::string_view program_name,
                      vd_msgid_t& status);
