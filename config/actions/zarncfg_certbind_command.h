// The SSL configuration tool's command lines, for both styles of the runtime.
#pragma once

#include <string>

#include "zarncfg_record.h"
#include "zarncfg_runner.h"

std::string certbind_config_arg(bool vd37);
std::string certbind_name_arg(bool vd37);
std::string certbind_listening_arg(bool vd37, const std::string& port);
// The password file is given to the tool on its standard input; without one
// (empty path) the passwords stand on its command line.
ShellCommand certbind_register_command(bool vd37, const std::string& password_file, const ConfigRecord& record,
                                          const std::string& generated_password);
ShellCommand certbind_unregister_command(bool vd37, const std::string& password_file,
                                            const ConfigRecord& record);
ShellCommand certbind_chgport_command(bool vd37, const std::string& password_file, const ConfigRecord& record);
std::string certbind_modify_command(bool vd37, const ConfigRecord& record);
