// The log router's tool writes its diagnostics to fixed names in /tmp.
// Redirecting with "> /tmp/..." in the command text would let anyone who
// plants a link there make root overwrite any file, so the file is opened
// here, safely, and handed to the shell as its output.
#include "zarncfg_run_to_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "zarncfg_file_copy.h"
#include "zarncfg_report.h"

namespace {

bool is_own_regular_file(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid();
}

int open_output(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0 && is_own_regular_file(fd)) return fd;
  if (fd >= 0) close(fd);
  log_free_text("The output file " + path + " is not safe to write; the command's output is discarded.");
  return open("/dev/null", O_WRONLY | O_CLOEXEC);
}

int wait_for(pid_t child) {
  int wait_status = 0;
  while (waitpid(child, &wait_status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
}

}  // namespace

int zarncfg_run_shell_to_file(const std::string& command, const std::string& output_path) {
  const UniqueFd output(open_output(output_path));
  if (output.get() < 0) return -1;
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    // dup2 clears close-on-exec on the copies, which the shell needs.
    if (dup2(output.get(), STDOUT_FILENO) < 0 || dup2(output.get(), STDERR_FILENO) < 0) _exit(127);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return wait_for(child);
}
