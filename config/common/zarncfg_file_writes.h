// The door through which the configuration steps change files, as the
// command runner is the door through which they start children.
//
// The real writer works on disk.  A preview installs a writer of its own
// that keeps the files it is shown in memory, so that the steps run to
// their end and what they would leave behind can be compared with what is
// there, while the host stays as it is.  Paths are taken as the steps give
// them (already put under the host root where the step does that).
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "stanza_file.h"
#include "sys_fd.h"

class FileWrites {
 public:
  virtual ~FileWrites() = default;
  // Whether something is at the path, a link's target looked through.
  [[nodiscard]] virtual bool exists(const std::string& path) = 0;
  // A stanza file open for update; a missing file is created empty first.
  // Nothing, with the library's status, when it cannot be opened.
  [[nodiscard]] virtual std::unique_ptr<StanzaFile> open_stanza(const std::string& path, vd_status_t& status) = 0;
  // Writes the edits back; the library's code, 0 on success.
  [[nodiscard]] virtual int close_stanza(std::unique_ptr<StanzaFile> file) = 0;
  [[nodiscard]] virtual bool rename(const std::string& from, const std::string& to) = 0;
  // Removes a file or a link; one that is not there counts as removed.
  virtual void remove(const std::string& path) = 0;
  // Never through a link (see zarncfg_set_owner_and_mode).
  virtual void set_owner_and_mode(const std::string& path, uid_t owner, gid_t group, mode_t mode) = 0;
  // A new scratch file, open for writing, for a password or a command's
  // output: on disk made with mkstemp from `name_template` (mode 0600);
  // `path` is the name to read it by.  Invalid when it cannot be made.
  [[nodiscard]] virtual sys::UniqueFd scratch_file(const std::string& name_template, std::string& path) = 0;
};

class DiskFileWrites final : public FileWrites {
 public:
  [[nodiscard]] bool exists(const std::string& path) override;
  [[nodiscard]] std::unique_ptr<StanzaFile> open_stanza(const std::string& path, vd_status_t& status) override;
  [[nodiscard]] int close_stanza(std::unique_ptr<StanzaFile> file) override;
  [[nodiscard]] bool rename(const std::string& from, const std::string& to) override;
  void remove(const std::string& path) override;
  void set_owner_and_mode(const std::string& path, uid_t owner, gid_t group, mode_t mode) override;
  [[nodiscard]] sys::UniqueFd scratch_file(const std::string& name_template, std::string& path) override;
};

// The writer of the innermost FileWritesScope, else a DiskFileWrites.
FileWrites& current_file_writes();

// Makes `writes` the current writer while it lives; scopes nest.
class FileWritesScope {
 public:
  explicit FileWritesScope(FileWrites& writes);
  ~FileWritesScope();
  FileWritesScope(const FileWritesScope&) = delete;
  FileWritesScope& operator=(const FileWritesScope&) = delete;

 private:
  FileWrites* previous_;
};
