// The steps of the configuration that only the orchestration uses.
#pragma once

#include <sys/types.h>

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "zarncfg_record.h"

inline constexpr const char* ZARNLPADM_TOOL = "/opt/zarn/bin/zarnlpadm";
inline constexpr const char* ZARND_DAEMON = "/opt/zarn/bin/zarnd";

// The key database and its stash that registration leaves in the key directory.
inline constexpr std::array<std::string_view, 2> root_brevik_660 = {"/var/zarn/certs/zarnd.kdb",
                                                                    "/var/zarn/certs/zarnd.sth"};
// The daemons' message logs, moved aside on a first configuration.
inline constexpr std::array<std::string_view, 3> backup_files = {
    "/var/zarn/log/msg__zarnd.log", "/var/zarn/log/msg__zarnwdd.log", "/var/zarn/log/msg__zarnauditd.log"};

void zarncfg_configure_zarnd(ConfigRecord& record, int& registered, vd_msgid_t& status);
void zarncfg_configure_login_policy(const ConfigRecord& record, vd_msgid_t& status);
void zarncfg_init_zarnd(const ConfigRecord& record, vd_msgid_t& status);
// Owner, group and mode of each existing file of the list; with move_aside
// each file is first renamed to its name with ".bak" appended.
void zarncfg_change_file_attributes(std::span<const std::string_view> paths, const std::string& owner,
                                    const std::string& group, mode_t mode, bool move_aside, vd_msgid_t& status);
// The final owners and modes; always ends with the status 0.
void zarncfg_change_files(bool already_configured, vd_msgid_t& status);
