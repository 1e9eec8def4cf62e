// Replacing a file so that a crash leaves either the old or the new
// contents, never a torn mix.
#pragma once

#include <string>
#include <string_view>

namespace stz {

// Writes `bytes` to a temporary file beside the file `path` names
// (symbolic links followed), gives it the owner and mode of that file, and
// renames it over it.  On failure the file is untouched, no temporary file
// remains, and `why` says which step failed.
bool replaceFileAtomically(const std::string& path, std::string_view bytes, std::string& why);

}  // namespace stz
