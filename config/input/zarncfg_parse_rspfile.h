// Second input pass: the response file named with -rspfile.
#pragma once

#include <span>
#include <string>

#include "zarncfg_record.h"

void zarncfg_config_parse_rspfile(std::span<const std::string> args, std::span<const ConfigOptionDef> options,
                                  ConfigRecord& record, std::span<const StanzaOptionMap> map, int rspfile_index,
                                  const std::string& start_directory, vd_msgid_t& status);
// The row whose option index is the given one, or -1.
int zarncfg_get_idx(std::span<const ConfigOptionDef> options, int option_index);
// 0: not given; -1: given without a value; 1: the value is in file_name.
int zarncfg_get_rspfile(std::span<const std::string> args, int row, std::string& file_name,
                        std::span<const ConfigOptionDef> options);
