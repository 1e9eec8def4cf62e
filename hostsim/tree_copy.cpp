#include "tree_copy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file_util.h"

namespace fs = std::filesystem;

namespace hostsim {
namespace {

struct stat lstat_or_throw(const fs::path& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) throw_system_error("cannot inspect", path);
  return st;
}

void copy_owner(const struct stat& st, const fs::path& to) {
  if (::lchown(to.c_str(), st.st_uid, st.st_gid) != 0) throw_system_error("cannot set the owner of", to);
}

// chmod() after chown(): changing the owner clears set-user-ID bits.
void copy_owner_and_mode(const struct stat& st, const fs::path& to) {
  copy_owner(st, to);
  if (::chmod(to.c_str(), st.st_mode & 07777) != 0) throw_system_error("cannot set the mode of", to);
}

void ensure_real_directory(const fs::path& to) {
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
  remove_non_directory(to);
  make_directory(to, 0700);
}

void copy_file(const fs::path& from, const struct stat& st, const fs::path& to) {
  remove_non_directory(to);
  fs::copy_file(from, to);
  copy_owner_and_mode(st, to);
}

void copy_symlink(const fs::path& from, const struct stat& st, const fs::path& to) {
  remove_non_directory(to);
  fs::create_symlink(fs::read_symlink(from), to);
  copy_owner(st, to);
}

void copy_directory(const fs::path& from, const fs::path& to);

void copy_entry(const fs::path& from, const fs::path& to) {
  const struct stat st = lstat_or_throw(from);
  if (S_ISDIR(st.st_mode)) {
    ensure_real_directory(to);
    copy_directory(from, to);
    copy_owner_and_mode(st, to);
  } else if (S_ISREG(st.st_mode)) {
    copy_file(from, st, to);
  } else if (S_ISLNK(st.st_mode)) {
    copy_symlink(from, st, to);
  } else {
    errno = EINVAL;
    throw_system_error("cannot copy special file", from);
  }
}

void copy_directory(const fs::path& from, const fs::path& to) {
  for (const fs::directory_entry& entry : fs::directory_iterator(from)) {
    copy_entry(entry.path(), to / entry.path().filename());
  }
}

}  // namespace

void copy_tree(const fs::path& from, const fs::path& to) {
  try {
    copy_directory(from, to);
  } catch (const fs::filesystem_error& e) {
    throw std::runtime_error(e.what());
  }
}

}  // namespace hostsim
