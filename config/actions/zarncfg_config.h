// The configuration of a host, in its fixed order, and the steps that only
// the orchestration runs.
#pragma once

#include <sys/types.h>

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "zarncfg_record.h"

inline constexpr const char* ZARNLPADM_TOOL = "/opt/zarn/bin/zarnlpadm";
inline constexpr const char* ZARND_DAEMON = "/opt/zarn/bin/zarnd";
inline constexpr const char* ZARNEVCCFG_TOOL = "/opt/zarn/bin/zarnevccfg";

// The key database and its stash that registration leaves in the key directory.
inline constexpr std::array<std::string_view, 2> root_brevik_660 = {"/var/zarn/certs/zarnd.kdb",
                                                                    "/var/zarn/certs/zarnd.sth"};
// The daemons' message logs, moved aside on a first configuration.
inline constexpr std::array<std::string_view, 3> backup_files = {
    "/var/zarn/log/msg__zarnd.log", "/var/zarn/log/msg__zarnwdd.log", "/var/zarn/log/msg__zarnauditd.log"};

// The whole configuration; the first failing step ends it with its status.
void zarncfg_config(ConfigRecord& record, int& registered, vd_msgid_t& status);

void zarncfg_configure_zarnd(ConfigRecord& record, int& registered, vd_msgid_t& status);
void zarncfg_configure_login_policy(const ConfigRecord& record, vd_msgid_t& status);
void zarncfg_init_zarnd(const ConfigRecord& record, vd_msgid_t& status);
// Announces itself only: the kernel part is started by its init script,
// which the autostart links bring into the run levels.
void zarncfg_configure_kernel(vd_msgid_t& status);
// Owner, group and mode of each existing file of the list; with move_aside
// each file is first renamed to its name with ".bak" appended.
void zarncfg_change_file_attributes(std::span<const std::string_view> paths, const std::string& owner,
                                    const std::string& group, mode_t mode, bool move_aside, vd_msgid_t& status);
// The final owners and modes; always ends with the status 0.
void zarncfg_change_files(bool already_configured, vd_msgid_t& status);
// The follow-up of a successful first configuration: the event console
// daemon's autostart switched off.  Its outcome is not judged.
void zarncfg_switch_off_event_console(const ConfigRecord& record);
