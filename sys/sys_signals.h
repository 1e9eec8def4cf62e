// How a program that must never stop half way meets the signals that end
// processes.
//
// SIGINT, SIGTERM, SIGHUP and SIGQUIT (the termination signals) are caught
// and only noted: the program looks at what it has caught at the points
// where it can stop cleanly, and ends through its own exit routine.  A
// signal that the program inherited as ignored (SIGINT and SIGQUIT of a
// background job, SIGHUP under nohup) stays ignored, here and in every
// child.  SIGPIPE is ignored, so that a reader that went away never ends
// the program half way; its writes fail instead.
//
// While the program waits for a child started with forwarding (sys_child.h),
// a termination signal is passed on to the child's process group.  Once the
// program starts undoing its work it ignores further termination signals.
#pragma once

#include <signal.h>

#include <array>
#include <string>

namespace sys {

inline constexpr std::array<int, 4> kTerminationSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Called once, before anything else: remembers which signals were
// inherited as ignored, catches the termination signals that were not,
// ignores SIGPIPE, and makes this process the reaper of orphans its
// children leave (so that a child's whole process group can be waited for).
void catch_termination_signals();

// From now on termination signals are ignored and no longer forwarded.
void ignore_termination_signals();

// Whether termination signals are caught now (caught and not yet ignored).
bool catching_termination_signals();

// The first termination signal caught, else 0.
int first_termination_signal();

// How many termination signals were caught, and the latest of them.
unsigned termination_signal_count();
int latest_termination_signal();

// Notes a termination signal as the catching handler does.
// Async-signal-safe: for a handler that stands in for ours for a while
// (the password prompt restores the terminal first).
void note_termination_signal(int signal_number);

// Whether the signal was ignored when catch_termination_signals() ran.
// Async-signal-safe.
bool inherited_as_ignored(int signal_number);

// "SIGINT" and so on; "signal <n>" for others.
std::string signal_name(int signal_number);

}  // namespace sys
