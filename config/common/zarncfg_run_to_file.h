// Running a shell command whose output goes to a fixed file in a shared
// directory such as /tmp.
#pragma once

#include <string>

// Opens the output file without following a link planted at its path
// (O_NOFOLLOW, mode 0600 when created) and without waiting on a FIFO
// (O_NONBLOCK), and refuses one that is not a regular file of ours; the
// command's output is then discarded instead.  Runs the command through
// /bin/sh with that file as its standard output and error and returns the
// shell's exit status (128 + the signal number when a signal ended it), or
// -1 when it could not be run.  Nothing is logged: the command may hold a
// password.
int zarncfg_run_shell_to_file(const std::string& command, const std::string& output_path);
