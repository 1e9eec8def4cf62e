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

// The exit status a test asked for by creating /var/zarn/run/fail.<name>:
// the number written in it, or 1 when it holds none.
std::optional<int> standin_requested_failure(std::string_view name);

// Records the invocation and returns the requested failure, if any.
std::optional<int> standin_begin(int argc, char** argv, std::string_view fail_name);

// Writes a whole file (replacing it) with the given mode; false on failure.
bool standin_write_file(const std::string& path, const std::string& content, unsigned mode);
// Appends one line; false on failure.
bool standin_append_line(const std::string& path, const std::string& line, unsigned mode);
