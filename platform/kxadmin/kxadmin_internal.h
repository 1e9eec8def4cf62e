// Additions to the kxadmin_ contract for our own tests and tools.
#pragma once

#include <optional>
#include <string>

// Makes every later kxadmin_context_createdefault open the store at `path`;
// none goes back to the configured location (kx_store_location.h).
void kxadmin_set_store_path(std::optional<std::string> path);

// The store the next kxadmin_context_createdefault opens.
std::string kxadmin_store_path();
