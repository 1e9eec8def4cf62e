// Starting a child that only executes a program, for sys_child.cpp.
//
// posix_spawn makes the child without copying this process's page tables
// (it shares them until the exec), which is what most of the cost of a
// fork of a large process is; every set-up a ChildSpec asks for is given to
// it as spawn attributes and file actions.  A child with code of its own
// to run (exec_instead) still needs a fork.
#pragma once

#include <sys/types.h>

#include "sys_child.h"

namespace sys {

struct Spawned {
  pid_t pid = -1;  // -1: the program could not be executed, or no process was made
  int error = 0;   // why, else 0
};

// Starts setup.program with the streams, descriptors, signals and process
// group the ChildSpec asks for.  A failed exec has already been reaped.
[[nodiscard]] Spawned spawn_child(const ChildSpec& setup);

// Whether a child, spawned or forked, has the signal put back to its
// default disposition: every one but those that cannot be caught and those
// this process inherited as ignored.
bool set_to_default_in_child(int signal_number);

// The spawn's errors that mean no process could be made at all, rather
// than that the program could not be executed.
bool no_process_made(int error);

}  // namespace sys
