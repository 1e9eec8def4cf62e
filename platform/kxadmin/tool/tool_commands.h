// The commands of the kxadmin tool.  Each takes the words after its own
// name and returns the exit status: 0 done, 1 failed, 2 wrong use.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace kxtool {

inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_FAILED = 1;
inline constexpr int EXIT_USAGE = 2;

using Words = std::span<const std::string_view>;

int usage_error();
int run_init(const std::string& store_path, Words words);
int run_fault(const std::string& store_path, Words words);
int run_dump(const std::string& store_path, Words words);
int run_migrate(const std::string& store_path, Words words);
// "run list [HOST]", "run rollback HOST PID STARTED", "run discard ...".
int run_runs(const std::string& store_path, Words words);
// "lease list".
int run_leases(const std::string& store_path, Words words);
// "objectspace list", "acl show NAME", "user list [PATTERN]", ...
int run_listing(const std::string& store_path, std::string_view kind, Words words);

}  // namespace kxtool
