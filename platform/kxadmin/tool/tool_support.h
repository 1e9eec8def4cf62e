// Helpers shared by the kxadmin tool's commands.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kx_store.h"

namespace kxtool {

// Prints the tool's failure message for `outcome` and gives exit status 1.
int failed(const kx::Outcome& outcome);
// Opens the store, printing why when it cannot.
std::unique_ptr<kx::Store> open_store(const std::string& path);
void print_lines(const std::vector<std::string>& lines);
// Decimal, or hexadecimal with a "0x" prefix; the whole word must be a number.
std::optional<std::int64_t> parse_number(std::string_view word);

}  // namespace kxtool
