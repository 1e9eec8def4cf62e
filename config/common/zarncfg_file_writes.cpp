#include "zarncfg_file_writes.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "sys_fd.h"
#include "zarncfg_process.h"

namespace {

FileWrites* installed = nullptr;

}  // namespace

bool DiskFileWrites::exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::unique_ptr<StanzaFile> DiskFileWrites::open_stanza(const std::string& path, vd_status_t& status) {
  // A failure shows up when the stanza library opens the file.
  (void)sys::open_fd(path, O_RDWR | O_CREAT | O_APPEND, 0660);
  return stzFileOpen(path, STZ_MODE_UPDATE, status);
}

int DiskFileWrites::close_stanza(std::unique_ptr<StanzaFile> file) { return stzFileClose(std::move(file)); }

bool DiskFileWrites::rename(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

void DiskFileWrites::remove(const std::string& path) { (void)unlink(path.c_str()); }

void DiskFileWrites::set_owner_and_mode(const std::string& path, uid_t owner, gid_t group, mode_t mode) {
  zarncfg_set_owner_and_mode(path, owner, group, mode);
}

sys::UniqueFd DiskFileWrites::scratch_file(const std::string& name_template, std::string& path) {
  std::string name = name_template;
  sys::UniqueFd file(mkostemp(name.data(), O_CLOEXEC));
  if (file.valid()) path = name;
  return file;
}

FileWrites& current_file_writes() {
  static DiskFileWrites disk;
  return installed != nullptr ? *installed : disk;
}

FileWritesScope::FileWritesScope(FileWrites& writes) : previous_(installed) { installed = &writes; }

FileWritesScope::~FileWritesScope() { installed = previous_; }
