// What every stand-in for an external program does first: record how it was
// called, and fail on purpose when a test asks it to.
#pragma once

#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* STANDIN_RUN_DIR = "/var/zarn/run";

// Appends the argument list, blank-separated, as one line to
// /var/zarn/run/standins.log.
void standin_record_invocation(int argc, char** argv);

// While /var/zarn/run/hold.<name> exists the stand-in waits, after writing
// its process id to /var/zarn/run/held.<name>: a test can then do what it
// wants to do while the tool runs (a signal ends it as it would end the tool).
void standin_wait_while_held(std::string_view name);

// The exit status a test asked for by creating /var/zarn/run/fail.<name>:
// the number written in it, or 1 when it holds none.  A hold of the same
// name (standin_wait_while_held) is waited out first.
std::optional<int> standin_requested_failure(std::string_view name);

// Records the invocation and returns the requested failure, if any.
std::optional<int> standin_begin(int argc, char** argv, std::string_view fail_name);

// Writes a whole file (replacing it) with the given mode; false on failure.
bool standin_write_file(const std::string& path, const std::string& content, unsigned mode);
// Appends one line; false on failure.
bool standin_append_line(const std::string& path, const std::string& line, unsigned mode);
