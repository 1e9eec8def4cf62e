// Each configuration file is copied to "<file>.bak" before a run and moved
// back after a failed one.  The copy keeps owner and mode, so that a restored
// file is the file as it was, and the restore is one rename: there is no
// moment without the file.
#include "zarncfg_backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "sys_file.h"
#include "zarncfg_svc.h"
#include "zarncfg_tables.h"

namespace {

bool exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace

void zarncfg_backup_conf_files() {
  FunctionTrace scope("zarncfg_backup_conf_files");
  for (const char* path : ZARNCFG_CONF_FILES) {
    const std::string backup = std::string(path) + ".bak";
    if (exists(backup)) std::remove(backup.c_str());
    std::string why;
    // Not examined: without a backup the restore leaves that file alone.
    if (exists(path)) (void)sys::copy_file(path, backup, why);
  }
}

void zarncfg_restore_conf_files() {
  FunctionTrace scope("zarncfg_restore_conf_files");
  for (const char* path : ZARNCFG_CONF_FILES) {
    const std::string backup = std::string(path) + ".bak";
    if (exists(backup)) std::rename(backup.c_str(), path);
  }
}
