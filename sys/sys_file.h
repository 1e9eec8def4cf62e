// Whole-file writes that a crash cannot tear: a temporary file in the same
// folder is written, synced, given the right owner and mode and renamed
// into place, and the folder is synced so that the rename itself survives.
// A reader sees either the old file or the complete new one.
#pragma once

#include <sys/types.h>

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

// Whether a link at the source of a copy is followed.
enum class SourceLink { refuse, follow };

// Copies the regular file `source` over `target` the same way; the copy
// takes the source's owner, group and mode.  A link at `source` is refused
// unless it is to be followed (a copy by content, as cp makes it); a link
// at `target` is replaced, not followed.
[[nodiscard]] bool copy_file(const std::string& source, const std::string& target, std::string& why,
                             SourceLink source_link = SourceLink::refuse);

// Writes `bytes` as the whole file `path`, created with `mode` and this
// process's owner, or replacing what is there (a link is replaced, not
// followed).
[[nodiscard]] bool write_file(const std::string& path, std::string_view bytes, mode_t mode, std::string& why);

// Removes `path` and syncs its folder, so that the removal survives a
// crash.  A file that is not there counts as removed.
[[nodiscard]] bool remove_file(const std::string& path, std::string& why);

}  // namespace sys
