#include "hostsim/remove.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "file_util.h"
#include "parse_number.h"

namespace fs = std::filesystem;

namespace hostsim {
namespace {

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// mountinfo writes space, tab, newline and backslash as \ooo.
std::string unescape_mount_path(std::string_view text) {
  std::string path;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto code = text[i] == '\\' ? parse_number<unsigned char>(text.substr(i + 1, 3), 8) : std::nullopt;
    if (code && i + 3 < text.size()) {
      path.push_back(static_cast<char>(*code));
      i += 3;
      continue;
    }
    path.push_back(text[i]);
  }
  return path;
}

bool is_at_or_below(const std::string& path, const std::string& dir) {
  return path == dir || (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '/');
}

}  // namespace

std::vector<pid_t> processes_in_host(const fs::path& dir) {
  struct stat host;
  if (::stat(dir.c_str(), &host) != 0) return {};
  std::vector<pid_t> found;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    const auto pid = parse_number<pid_t>(entry.path().filename().string());
    struct stat root;
    // Processes that end meanwhile, and zombies, have no root to stat.
    if (!pid || *pid == ::getpid() || ::stat((entry.path() / "root").c_str(), &root) != 0) continue;
    if (same_file(root, host)) found.push_back(*pid);
  }
  return found;
}

void kill_processes_in_host(const fs::path& dir) {
  constexpr int kAttempts = 500;  // a safety limit, some seconds in all
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::vector<pid_t> pids = processes_in_host(dir);
    if (pids.empty()) return;
    for (pid_t pid : pids) (void)::kill(pid, SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  throw std::runtime_error("processes keep running in host " + dir.string());
}

std::vector<std::string> mount_points_under(std::string_view mountinfo, const fs::path& dir) {
  std::string prefix = dir.lexically_normal().string();
  if (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  std::vector<std::string> found;
  std::istringstream lines{std::string(mountinfo)};
  for (std::string line; std::getline(lines, line);) {
    // id parent major:minor root mount-point ...
    std::istringstream fields(line);
    std::string id, parent, device, root, mount_point;
    if (!(fields >> id >> parent >> device >> root >> mount_point)) continue;
    std::string path = unescape_mount_path(mount_point);
    if (is_at_or_below(path, prefix)) found.push_back(std::move(path));
  }
  return found;
}

std::vector<std::string> mount_points_under(const fs::path& dir) {
  return mount_points_under(read_text_file("/proc/self/mountinfo"), fs::weakly_canonical(dir));
}

void remove_host(const fs::path& dir) {
  if (!fs::exists(fs::symlink_status(dir))) return;
  kill_processes_in_host(dir);
  const std::vector<std::string> mounts = mount_points_under(dir);
  if (!mounts.empty()) throw std::runtime_error("not removing host " + dir.string() + ": " + mounts.front() + " is mounted");
  fs::remove_all(dir);
}

}  // namespace hostsim
