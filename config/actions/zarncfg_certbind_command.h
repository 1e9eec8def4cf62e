// The SSL configuration tool's command lines, for both styles of the runtime.
#pragma once

#include <string>

#include "zarncfg_record.h"

inline constexpr const char* CERTBIND_TOOL = "/opt/Varden/bin/certbind";
inline constexpr const char* CERTBIND_KEY_DIR = "/var/zarn/certs";
inline constexpr const char* PASSWORD_MASK = "********";

struct CertbindCommand {
  std::string command;  // what the shell runs
  std::string display;  // what the log shows, passwords masked
};

std::string certbind_config_arg(bool vd37);
std::string certbind_name_arg(bool vd37);
std::string certbind_listening_arg(bool vd37, const std::string& port);
// The password file is given to the tool on its standard input; without one
// (empty path) the passwords stand on its command line.
CertbindCommand certbind_register_command(bool vd37, const std::string& password_file, const ConfigRecord& record,
                                          const std::string& generated_password);
CertbindCommand certbind_unregister_command(bool vd37, const std::string& password_file,
                                            const ConfigRecord& record);
CertbindCommand certbind_chgport_command(bool vd37, const std::string& password_file, const ConfigRecord& record);
std::string certbind_modify_command(bool vd37, const ConfigRecord& record);

// The log router's registration command lines.  The tool takes the security
// master password on its command line here, so these lines are never logged.
std::string zarnlrd_config_command(const std::string& password);
std::string zarnlrd_unconfig_command(const std::string& password);
