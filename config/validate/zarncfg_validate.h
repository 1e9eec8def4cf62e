// Validation of the merged option values, and the root check.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "zarncfg_record.h"

// 1 when the effective user is root (the real user is then set to root too).
int zarncfg_verify_root_user(vd_msgid_t& status);

// Required options, then both range passes, then the rules that join
// several options; the first failure sets the status and ends validation.
void zarncfg_validate(ConfigRecord& record, const std::string& start_directory,
                      std::span<const ConfigOptionDef> options, std::span<const int> required,
                      std::span<const MinMaxRequirement> requirements, std::string_view program_name,
                      vd_msgid_t& status);

// 1 when every required option has a value and every option that has one
// and takes one carries its text; else 0 with ZRNCF1318E or ZRNCF1332E.
int zarncfg_validate_required(const ConfigRecord& record, vd_msgid_t& status,
                              std::span<const ConfigOptionDef> options, std::span<const int> required);

// The table checks in option order, then the password prompt for an empty
// password that is needed.  1 when all pass, else 0 with the status set.
// Values are normalised in place (on/off words, lower-cased sets, joined
// file names, trimmed numbers).
int zarncfg_validate_ranges(ConfigRecord& record, vd_msgid_t& status, std::span<const ConfigOptionDef> options,
                            const std::string& start_directory, std::span<const MinMaxRequirement> requirements);

// The rules that join several options; checks only for "zarncfg".  Copies the
// CA certificate into the certificate directory when one was given.
void zarncfg_validate_special_cases(ConfigRecord& record, std::string_view program_name, vd_msgid_t& status);

// Copies `source` into the certificate directory under its base name, makes
// the entry at `index` name the copy, and gives it owner root, group brevik
// and mode 0660.
void zarncfg_copy_to_certs(ConfigRecord& record, int index, const std::string& source, vd_msgid_t& status);

// 1 when every comma-separated item of the value, lower-cased, is one of the
// members; items are not trimmed, so blanks and empty items fail.
int zarncfg_member_of_set(std::span<const std::string_view> members, std::string_view value);

// 1 when the value is a truth word (rewritten to "on" or "off"), else 0 with
// the value left lower-cased.
int zarncfg_check_bool(std::string& value);
