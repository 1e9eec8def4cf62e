// Shared by the stand-ins: the invocation log and the failure switches that
// let a test make any tool fail.
#include "standin_common.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <sstream>

#include "sys_fd.h"

namespace {

bool write_with_flags(const std::string& path, std::string_view content, int flags, unsigned mode) {
  const sys::UniqueFd fd = sys::open_fd(path, flags | O_WRONLY | O_CREAT | O_NOFOLLOW, mode);
  return fd.valid() && sys::write_all(fd.get(), content);
}

}  // namespace

bool standin_write_file(const std::string& path, const std::string& content, unsigned mode) {
  return write_with_flags(path, content, O_TRUNC, mode);
}

bool standin_append_line(const std::string& path, const std::string& line, unsigned mode) {
  return write_with_flags(path, line + "\n", O_APPEND, mode);
}

void standin_record_invocation(int argc, char** argv) {
  mkdir(STANDIN_RUN_DIR, 0755);
  std::string line;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) line += ' ';
    line += argv[i];
  }
  standin_append_line(std::string(STANDIN_RUN_DIR) + "/standins.log", line, 0600);
}

void standin_wait_while_held(std::string_view name) {
  const std::string hold = std::string(STANDIN_RUN_DIR) + "/hold." + std::string(name);
  if (access(hold.c_str(), F_OK) != 0) return;
  standin_write_file(std::string(STANDIN_RUN_DIR) + "/held." + std::string(name), std::to_string(getpid()) + "\n",
                     0644);
  while (access(hold.c_str(), F_OK) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

std::optional<int> standin_requested_failure(std::string_view name) {
  standin_wait_while_held(name);
  const std::string path = std::string(STANDIN_RUN_DIR) + "/fail." + std::string(name);
  std::ifstream in(path);
  if (!in) return std::nullopt;
  int code = 1;
  if (!(in >> code)) code = 1;
  return code;
}

std::optional<int> standin_begin(int argc, char** argv, std::string_view fail_name) {
  standin_record_invocation(argc, argv);
  return standin_requested_failure(fail_name);
}
