// Unified diffs of two texts, as "diff -u" prints them, for a preview that
// shows what a run would write into a file.
#pragma once

#include <string>
#include <string_view>

// The differences with three lines of context, headed "--- <from_label>"
// and "+++ <to_label>"; empty when the texts are equal.  A last line
// without its newline is marked as diff marks it.
std::string unified_diff(std::string_view before, std::string_view after, const std::string& from_label,
                         const std::string& to_label);
