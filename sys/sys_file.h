// Whole-file writes that a crash cannot tear: a temporary file in the same
// folder is written, synced, given the right owner and mode and renamed
// into place, and the folder is synced so that the rename itself survives.
// A reader sees either the old file or the complete new one.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace sys {

// Replaces the contents of the existing regular file `path` (links
// followed) with `bytes`, keeping its owner, group and mode.  On failure
// before the rename the file is untouched and no temporary file remains;
// `why` names the failed step and the system's reason ("write: File too
// large").  When only the folder sync fails the new contents are in place,
// and the result is still false.
[[nodiscard]] bool replace_file(const std::string& path, std::string_view bytes, std::string& why);
// The same with the new contents given in pieces, which are written one
// after the other: a large file edited in a few places needs no copy.
[[nodiscard]] bool replace_file(const std::string& path, std::span<const std::string_view> pieces, std::string& why);

// Copies the regular file `source` (a link there is refused) over `target`
// the same way; the copy takes the source's owner, group and mode.  A link
// at `target` is replaced, not followed.
[[nodiscard]] bool copy_file(const std::string& source, const std::string& target, std::string& why);

}  // namespace sys
