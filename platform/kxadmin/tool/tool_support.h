// Helpers shared by the kxadmin tool's commands.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kx_store.h"

namespace kxtool {

// Prints the tool's failure message for `outcome` and gives exit status 1.
int failed(const kx::Outcome& outcome);
// Opens the store, printing why when it cannot.
std::unique_ptr<kx::Store> open_store(const std::string& path);
void print_lines(const std::vector<std::string>& lines);

}  // namespace kxtool
