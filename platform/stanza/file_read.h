// Reading a whole stanza file into memory.
#pragma once

#include <optional>
#include <string>

namespace stz {

// The bytes of the regular file at `path` (symbolic links followed), or
// nothing with the reason in `why`.  Devices and FIFOs are refused: they
// may never end, and cannot be replaced on write-back.
std::optional<std::string> readRegularFile(const std::string& path, std::string& why);

}  // namespace stz
