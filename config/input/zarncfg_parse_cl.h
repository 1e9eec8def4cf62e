// Third input pass: the command line, then the -delete list.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "zarncfg_record.h"

void zarncfg_parse_the_command_line(std::span<const std::string> args, ConfigRecord& record,
                                    std::span<const ConfigOptionDef> options, int delete_index,
                                    std::span<const std::string_view> delete_items, std::span<const int> required,
                                    vd_msgid_t& status);
void zarncfg_parse_command_line(std::span<const std::string> args, std::span<const ConfigOptionDef> options,
                                ConfigRecord& record, vd_msgid_t& status);
void zarncfg_delete_cl_options(const std::string& delete_list, std::span<const ConfigOptionDef> options,
                               ConfigRecord& record, std::span<const std::string_view> delete_items,
                               std::span<const int> required, vd_msgid_t& status);
void zarncfg_log_command_line(std::span<const std::string> args, vd_msgid_t& status);
