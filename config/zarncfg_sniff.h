// First input pass: defaults and the configuration installed on this host.
#pragma once

#include <span>
#include <string_view>

#include "zarncfg_record.h"

void zarncfg_read_cfg_files(std::span<const ConfigOptionDef> options, int entry_count, ConfigRecord& record,
                            std::span<const StanzaOptionMap> map, std::string_view tool_name, vd_msgid_t& status);
void zarncfg_fill_defaults(ConfigRecord& record);
