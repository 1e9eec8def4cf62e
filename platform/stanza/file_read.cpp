#include "file_read.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "stanza_text.h"

namespace stz {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

bool tooLarge(std::size_t size, std::string& why) {
  if (size <= ParsedText::kMaxSize) return false;
  why = std::strerror(EFBIG);
  return true;
}

// From an offset rather than the descriptor's position, so that a file
// can be compared first and read whole after.
ssize_t readAt(int fd, char* buffer, std::size_t size, std::size_t offset) {
  for (;;) {
    const ssize_t got = ::pread(fd, buffer, size, static_cast<off_t>(offset));
    if (got >= 0 || errno != EINTR) return got;
  }
}

}  // namespace

std::optional<OpenedFile> openRegularFile(const std::string& path, std::string& why) {
  OpenedFile file;
  file.fd = sys::open_fd(path, O_RDONLY | O_NOCTTY);
  if (!file.fd.valid()) {
    why = std::strerror(errno);
    return std::nullopt;
  }
  (void)::clock_gettime(CLOCK_REALTIME, &file.looked_at);  // cannot fail for this clock
  if (::fstat(file.fd.get(), &file.info) != 0) {
    why = std::string("fstat: ") + std::strerror(errno);
    return std::nullopt;
  }
  if (!S_ISREG(file.info.st_mode)) {
    why = "not a regular file";
    return std::nullopt;
  }
  if (tooLarge(static_cast<std::size_t>(file.info.st_size), why)) return std::nullopt;
  return file;
}

bool readOpenedFile(const OpenedFile& file, TextBuffer& bytes, std::string& why) {
  TextBuffer text(static_cast<std::size_t>(file.info.st_size));
  for (;;) {
    char more[4096];
    // Past the size seen, for a file that grew since: read to its new end.
    const bool within = text.size() < text.capacity();
    const ssize_t got = within ? readAt(file.fd.get(), text.data() + text.size(), text.capacity() - text.size(),
                                        text.size())
                               : readAt(file.fd.get(), more, sizeof more, text.size());
    if (got < 0) {
      why = std::string("read: ") + std::strerror(errno);
      return false;
    }
    if (got == 0) break;
    const auto added = static_cast<std::size_t>(got);
    if (!within) {
      text.reserve(text.capacity() + text.capacity() / 2 + added);
      std::memcpy(text.data() + text.size(), more, added);
    }
    text.resize(text.size() + added);
  }
  if (tooLarge(text.size(), why)) return false;
  bytes = std::move(text);
  return true;
}

bool fileHolds(const OpenedFile& file, std::span<const std::string_view> pieces) {
  char chunk[kChunk];
  std::size_t have = 0;
  std::size_t used = 0;
  std::size_t offset = 0;
  for (std::string_view piece : pieces) {
    while (!piece.empty()) {
      if (used == have) {
        const ssize_t got = readAt(file.fd.get(), chunk, sizeof chunk, offset);
        if (got <= 0) return false;
        have = static_cast<std::size_t>(got);
        used = 0;
        offset += have;
      }
      const std::size_t n = std::min(piece.size(), have - used);
      if (std::memcmp(chunk + used, piece.data(), n) != 0) return false;
      used += n;
      piece.remove_prefix(n);
    }
  }
  return used == have && readAt(file.fd.get(), chunk, 1, offset) == 0;
}

}  // namespace stz
