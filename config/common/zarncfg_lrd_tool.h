// The log router daemon's registration tool, and the unconfiguration of
// the daemon.  The tool takes the security master password on its command
// line, so these command lines are never logged, and writes its
// diagnostics to fixed names in /tmp.
#pragma once

#include <string>

#include "zarncfg_msg.h"

inline constexpr const char* ZARNLRD_NAME = "zarnlrd";
inline constexpr const char* ZARNLRD_CONFIG_OUTPUT = "/tmp/.zarn_config";
inline constexpr const char* ZARNLRD_UNCONFIG_OUTPUT = "/tmp/.zarn_unconfig";

// The tool's command lines; the password stays one shell word.
std::string zarnlrd_config_command(const std::string& password);
std::string zarnlrd_unconfig_command(const std::string& password);

// Opens the output file without following a link planted at its path
// (O_NOFOLLOW, mode 0600) and without waiting on a FIFO (O_NONBLOCK), and
// writes only into a new file or a regular file of ours with no other
// name; anything else is left alone and the command's output discarded.  Runs the command through
// /bin/sh with that file as its standard output and error and returns the
// shell's exit status (128 + the signal number when a signal ended it), or
// -1 when it could not be run.  Nothing is logged: the command may hold a
// password.
int zarncfg_run_shell_to_file(const std::string& command, const std::string& output_path);

// Unregisters the log router daemon and removes its stanza file.  A failed
// unconfiguration adds 1 to lrd_status, sets ZRNCF1394E and keeps the file.
void zarncfg_unconfig_zarnlrd(const std::string& password, int& lrd_status, vd_msgid_t& status);
