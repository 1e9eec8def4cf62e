// Copying the staged product into a host.
#pragma once

#include <filesystem>

namespace hostsim {

// Merges the tree under `from` into the existing directory `to`: directories,
// regular files and symbolic links, with their modes and owners.  Anything
// already at a destination path that is not a directory is replaced, never
// written through, so a link into the real system stays harmless.
// Throws std::runtime_error.
void copy_tree(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace hostsim
