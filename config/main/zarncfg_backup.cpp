// Each configuration file is copied to "<file>.bak" before a run and put
// back after a failed one.  The copy keeps owner and mode, so that a
// restored file is the file as it was, and the restore of a plain file is
// one rename: there is no moment without the file.  A configuration file
// that an administrator has linked elsewhere is copied by content and
// restored through its link, as the stanza library writes through it.
#include "zarncfg_backup.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "sys_fd.h"
#include "sys_file.h"
#include "zarncfg_svc.h"
#include "zarncfg_tables.h"

namespace {

bool exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

bool is_link(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// The file a link leads to; empty for a dangling one.
std::string link_target(const std::string& path) {
  const std::unique_ptr<char, decltype(&::free)> resolved(realpath(path.c_str(), nullptr), &::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

bool listed(const std::vector<std::string>& paths, const std::string& path) {
  return std::find(paths.begin(), paths.end(), path) != paths.end();
}

// A link that leads nowhere holds no configuration: nothing to copy, as
// for a missing file.
bool has_content(const std::string& path) {
  return exists(path) && (!is_link(path) || !link_target(path).empty());
}

bool back_up(const std::string& path, vd_msgid_t& status) {
  const std::string backup = path + ".bak";
  std::string why;
  if (exists(backup) && std::remove(backup.c_str()) != 0) {
    why = std::string("remove ") + backup + ": " + std::strerror(errno);
  } else if (sys::copy_file(path, backup, why, sys::SourceLink::follow)) {
    return true;
  }
  status = msg_id(1402);
  print_and_log_error(msg_id(1402), path, why);
  return false;
}

// Keeps what the failed first configuration wrote under "<file>.partial";
// a link stays in place, its target's content is copied.
void keep_as_partial(const std::string& path, bool existed_before) {
  const std::string partial = path + ".partial";
  if (!is_link(path)) {
    std::rename(path.c_str(), partial.c_str());
    return;
  }
  const std::string target = link_target(path);
  std::string why;
  if (target.empty() || !sys::copy_file(target, partial, why)) return;
  // What the link led to before the run did not exist.
  if (!existed_before) std::remove(target.c_str());
}

std::string content_of(const std::string& path) {
  std::string text;
  const sys::UniqueFd fd = sys::open_fd(path, O_RDONLY | O_NONBLOCK);
  return fd.valid() && sys::read_all(fd.get(), text) ? text : std::string();
}

// Through a link, only a changed file is written: its target may lie where
// nothing can be written.  A copy that cannot be put back stays.
void put_back(const std::string& path) {
  const std::string backup = path + ".bak";
  if (!exists(backup)) return;
  const std::string target = is_link(path) ? link_target(path) : std::string();
  if (target.empty()) {
    std::rename(backup.c_str(), path.c_str());
    return;
  }
  std::string why;
  if (content_of(target) == content_of(backup) || sys::copy_file(backup, target, why)) std::remove(backup.c_str());
}

}  // namespace

bool zarncfg_backup_conf_files(RunRecord& record, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_backup_conf_files");
  for (const char* path : ZARNCFG_CONF_FILES) {
    if (!has_content(path)) {
      // A copy left by an earlier run goes; the record keeps it from being
      // restored should its removal fail.
      (void)std::remove((std::string(path) + ".bak").c_str());
      record.absent.emplace_back(path);
      continue;
    }
    if (!back_up(path, status)) return false;
    record.backed_up.emplace_back(path);
  }
  return true;
}

void zarncfg_restore_conf_files(const RunRecord& record, bool first_configuration, std::string_view keep) {
  FunctionTrace scope("zarncfg_restore_conf_files");
  if (first_configuration) {
    for (const char* path : {ZARND_CONF, BREVIK_CONF}) {
      const bool backed_up = listed(record.backed_up, path);
      // A backed-up file whose copy is gone has been put back already.
      if (has_content(path) && (!backed_up || exists(std::string(path) + ".bak"))) keep_as_partial(path, backed_up);
    }
  }
  for (const std::string& path : record.backed_up) {
    if (path != keep) put_back(path);
  }
  // A file the run created stays, but for the log router's file of a run
  // that registered the router: that registration is undone, and the file
  // must not say otherwise.
  if (record.lrd == LrdChange::register_daemon && listed(record.absent, ZARNLRD_CONF) && keep != ZARNLRD_CONF) {
    (void)std::remove(ZARNLRD_CONF);  // gone already when the run was killed before it wrote it
  }
}
