#include "e2e/secret_scan.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "sys_fd.h"


namespace fs = std::filesystem;

namespace e2e {
namespace {

// The system's trees, shared by every host and the test machine itself.
bool is_system_tree(const fs::path& relative) {
  const std::string top = relative.begin() == relative.end() ? "" : relative.begin()->string();
  return top == "usr" || top == "dev" || top == "proc";
}

std::string read_whole(const fs::path& file) {
  const sys::UniqueFd fd = sys::open_fd(file, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
  std::string text;
  // What cannot be read holds no secret the scan could report.
  if (fd.valid()) (void)sys::read_all(fd.get(), text);
  return text;
}

void scan_invocation_log(const std::string& text, std::string_view secret, std::vector<std::string>& hits) {
  std::istringstream lines(text);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    if (line.find(secret) != std::string::npos && !is_sanctioned_command_line(line)) {
      hits.push_back(std::string(kStandinsLog) + ":" + std::to_string(number) + ": " + line);
    }
  }
}

}  // namespace

bool is_sanctioned_command_line(std::string_view line) {
  const bool event_console = line.starts_with("/opt/zarn/bin/zarnevccfg -autostart off -sec_master_pwd ");
  const bool log_router = line.starts_with("/opt/Varden/bin/certbind ") && line.find(" -n zarnlrd ") != std::string_view::npos;
  return event_console || log_router;
}

std::vector<std::string> find_secret(const fs::path& host_dir, std::string_view secret) {
  std::vector<std::string> hits;
  if (secret.empty()) return hits;
  const fs::path root = host_dir;
  fs::recursive_directory_iterator walk(root, fs::directory_options::skip_permission_denied);
  for (auto it = walk; it != fs::recursive_directory_iterator(); ++it) {
    const fs::path relative = it->path().lexically_relative(root);
    if (it.depth() == 0 && is_system_tree(relative)) {
      it.disable_recursion_pending();
      continue;
    }
    const std::string in_host = "/" + relative.string();
    if (relative.filename().string().find(secret) != std::string::npos) hits.push_back(in_host + " (file name)");
    std::error_code ec;
    if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
    const std::string text = read_whole(it->path());
    if (text.find(secret) == std::string::npos) continue;
    if (in_host == kStandinsLog) {
      scan_invocation_log(text, secret, hits);
    } else {
      hits.push_back(in_host);
    }
  }
  return hits;
}

}  // namespace e2e
