// The SSL configuration tool's command lines, for both styles of the runtime.
#pragma once

#include <string>

#include "zarncfg_record.h"

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
