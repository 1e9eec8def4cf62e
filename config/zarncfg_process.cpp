// Running commands.
#include "zarncfg_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

int zarncfg_run_shell(const std::string& command) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int wait_status = 0;
  while (waitpid(child, &wait_status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  // A command killed by a signal has failed; it never counts as success.
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
}
