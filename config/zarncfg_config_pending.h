// Helpers of other modules that the configuration actions use, declared
// here until their own headers carry them.
#pragma once

#include <sys/types.h>

#include <span>
#include <string>
#include <string_view>

#include "zarncfg_record.h"

int zarncfg_popen(const std::string& command, const std::string& display, std::string& output_file);
uid_t zarncfg_get_pw_uid(const std::string& name, vd_msgid_t& status);
gid_t zarncfg_get_group_gid(const std::string& name, vd_msgid_t& status);
void zarncfg_configure_soft_links(std::span<const std::string_view> links, int enable, vd_msgid_t& status);
void zarncfg_initialize_kxadmin_context(ConfigRecord& record, const std::string& program, vd_msgid_t& status);
void zarncfg_define_default_policies(ConfigRecord& record, vd_msgid_t& status);
