// First input pass: defaults and the configuration installed on this host.
#pragma once

#include <span>
#include <string_view>

#include "zarncfg_record.h"

void zarncfg_read_cfg_files(std::span<const ConfigOptionDef> options, int entry_count, ConfigRecord& record,
                            std::span<const StanzaOptionMap> map, std::string_view tool_name, vd_msgid_t& status);
void zarncfg_fill_defaults(ConfigRecord& record);

// The reading half of zarncfg_read_cfg_files over the given files, in order.
// Only repeatable_file may repeat an entry an earlier file holds.  The pass
// reads ZARNCFG_SNIFF_FILES with zarnlrd.conf repeatable; tests read their
// own files.
void zarncfg_read_current_files(std::span<const char* const> files, std::string_view repeatable_file,
                                ConfigRecord& record, std::span<const StanzaOptionMap> map, vd_msgid_t& status);
