// Opening and reading a whole stanza file.
#pragma once

#include <sys/stat.h>
#include <time.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sys_fd.h"
#include "text_buffer.h"

namespace stz {

struct OpenedFile {
  sys::UniqueFd fd;
  struct stat info {};
  struct timespec looked_at {};  // taken just before `info`
};

// The regular file at `path` (symbolic links followed), opened for reading,
// or nothing with the reason in `why`.  Devices and FIFOs are refused: they
// may never end, and cannot be replaced on write-back.
std::optional<OpenedFile> openRegularFile(const std::string& path, std::string& why);

// Every byte of the opened file; false with the reason in `why`.
bool readOpenedFile(const OpenedFile& file, TextBuffer& bytes, std::string& why);

// Whether the opened file holds exactly the pieces, one after the other.
// Read in small chunks, so that comparing a large file costs no copy of it;
// a file that cannot be read holds nothing.
bool fileHolds(const OpenedFile& file, std::span<const std::string_view> pieces);

}  // namespace stz
