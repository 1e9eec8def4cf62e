// Requests for information: usage, version, help on options, option list.
#pragma once

#include <span>
#include <string>

#include "zarncfg_tables.h"

// Status 0 when the command line asks for nothing; else the message that
// ends the request (the usage text, or a newline after version, help and
// option list, which are shown here).
void zarncfg_request_usage(std::span<const std::string> args, vd_msgid_t usage_message,
                           std::span<const ConfigOptionDef> options, int min_args, vd_msgid_t& status);
void zarncfg_display_help(std::span<const std::string> args, std::span<const ConfigOptionDef> options);
void zarncfg_display_operations(std::span<const ConfigOptionDef> options);
