#include "write_fault.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <string_view>

#include "sys_fd.h"

namespace stz {
namespace {

std::string readSmallFile(int fd) {
  std::string text;
  char chunk[64];
  ssize_t n;
  while (text.size() < 64 && (n = ::read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<size_t>(n));
  return text;
}

// The count the request holds; 1 (fail now) when it holds none.
long requestedCount(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  long count = 1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (error != std::errc() || end != text.data() + text.size()) return 1;
  return count;
}

}  // namespace

bool writeFaultRequested(const std::string& path, const std::string& fault_dir) {
  const std::size_t slash = path.rfind('/');
  const std::string request = fault_dir + "/fail.stz." + path.substr(slash == std::string::npos ? 0 : slash + 1);
  const sys::UniqueFd fd = sys::open_fd(request, O_RDWR | O_NOFOLLOW);
  if (!fd.valid()) return false;
  const long count = requestedCount(readSmallFile(fd.get()));
  if (count <= 1) return true;
  const std::string left = std::to_string(count - 1) + "\n";
  if (::ftruncate(fd.get(), 0) != 0 || ::pwrite(fd.get(), left.data(), left.size(), 0) < 0) return true;
  return false;
}

}  // namespace stz
