// The log router's tool writes its diagnostics to fixed names in /tmp.
// Redirecting with "> /tmp/..." in the command text would let anyone who
// plants a link there make root overwrite any file, so the file is opened
// here, safely, and handed to the shell as its output.
#include "zarncfg_lrd_tool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>

#include "sys_child.h"
#include "sys_fd.h"
#include "zarncfg_interrupt.h"
#include "zarncfg_run_record.h"
#include "zarncfg_strings.h"
#include "zarncfg_svc.h"
#include "zarncfg_tables.h"

namespace {

// Written into only when it is a regular file of ours that no other name
// shares: a hard link planted in /tmp would otherwise let anyone have root
// truncate and fill a file of their choice.
bool is_own_single_file(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == geteuid();
}

// A fresh file, or an earlier one of ours emptied only once it has passed
// the checks; never through a link, never waiting on a FIFO.
sys::UniqueFd open_output(const std::string& path) {
  constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
  sys::UniqueFd fd = sys::open_fd(path, kFlags | O_CREAT | O_EXCL, 0600);
  if (fd.valid()) return fd;
  if (errno == EEXIST) {
    fd = sys::open_fd(path, kFlags);
    if (fd.valid() && is_own_single_file(fd.get()) && fchmod(fd.get(), 0600) == 0 && ftruncate(fd.get(), 0) == 0) {
      return fd;
    }
  }
  log_free_text("The output file " + path + " is not safe to write; the command's output is discarded.");
  return sys::open_fd("/dev/null", O_WRONLY);
}

}  // namespace

int zarncfg_run_shell_to_file(const std::string& command, const std::string& output_path) {
  const sys::UniqueFd output = open_output(output_path);
  if (!output.valid()) return -1;
  sys::ChildSpec spec("/bin/sh", {"sh", "-c", command});
  spec.forward_termination_signals = true;
  spec.stdout_fd = output.get();
  spec.stderr_fd = output.get();
  std::optional<sys::Child> child = sys::Child::start(spec);
  const std::optional<sys::ExitStatus> end = child ? child->wait() : std::nullopt;
  return end ? end->code : -1;
}

// The password stands on these command lines, as the tool takes it.
std::string zarnlrd_config_command(const std::string& password) {
  return std::string(CERTBIND_TOOL) + " -config -f " + ZARNLRD_CONF + " -d " + CERTBIND_KEY_DIR + " -n " +
         ZARNLRD_NAME + " -s remote -P " + zarncfg_shell_word(password) + " -S - -r 7777";
}

std::string zarnlrd_unconfig_command(const std::string& password) {
  return std::string(CERTBIND_TOOL) + " -unconfig -f " + ZARNLRD_CONF + " -n " + ZARNLRD_NAME + " -P " +
         zarncfg_shell_word(password);
}

void zarncfg_unconfig_zarnlrd(const std::string& password, int& lrd_status, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_unconfig_zarnlrd");
  vd_printf(msg_id(336));
  if (!zarncfg_note_lrd_change(LrdChange::unregister_daemon, status)) return;
  if (zarncfg_run_shell_to_file(zarnlrd_unconfig_command(password), ZARNLRD_UNCONFIG_OUTPUT) != 0) {
    // A tool that failed on its own made no change to undo; one stopped by
    // a signal may have made it half way, and its change is undone.
    if (!zarncfg_tool_was_interrupted() && !zarncfg_note_lrd_change(LrdChange::none, status)) return;
    lrd_status += 1;
    status = msg_id(1394);
    print_and_log_error(msg_id(1394));
    return;
  }
  std::remove(ZARNLRD_CONF);
}
