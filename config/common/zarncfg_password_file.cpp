// Password files live only for one command: mkstemp gives them mode 0600
// and a name nobody can predict, and the destructor removes them on every
// path, including the early returns of a failed step.
#include "zarncfg_password_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "zarncfg_file_writes.h"
#include "zarncfg_svc.h"

PasswordFile::PasswordFile(vd_msgid_t& status, std::string name_template) {
  fd_ = current_file_writes().scratch_file(name_template, path_);
  if (!fd_.valid()) {
    status = msg_id(1340);
    print_and_log_error(msg_id(1340), name_template);
  }
}

PasswordFile::~PasswordFile() {
  close();
  if (!path_.empty()) unlink(path_.c_str());
}

bool PasswordFile::add_line(std::string_view password) {
  return fd_.valid() && sys::write_all(fd_.get(), std::string(password) + "\n");
}

void PasswordFile::close() { fd_.reset(); }

void zarncfg_remove_stale_password_files(const std::string& directory) {
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return;
  const std::string_view prefix = PASSWORD_FILE_PREFIX;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (!name.starts_with(prefix) || name.size() != prefix.size() + 6) continue;
    const std::string path = directory + "/" + std::string(name);
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) unlink(path.c_str());
  }
  closedir(dir);
}
