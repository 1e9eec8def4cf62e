// Running commands, opening files, account look-ups and autostart links.
#pragma once

#include <string>
#include <string_view>

#include "zarncfg_msg.h"

// Runs a command line through /bin/sh and waits for it; the shell's exit
// status, or -1 when it could not be run or was killed by a signal.
int zarncfg_run_shell(const std::string& command);
