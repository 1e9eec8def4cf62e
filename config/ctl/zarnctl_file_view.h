// The files of a host as a run would leave them, kept in memory: the
// writer a plan installs in place of the disk.  Each path is read from the
// disk the first time a step looks at it; from then on the steps see their
// own changes, and the disk is never written.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "zarncfg_file_writes.h"

// What is at a path.
struct PathState {
  enum class Kind { absent, file, link };
  Kind kind = Kind::absent;
  std::string text;    // a file's contents, or what a link's target holds
  std::string target;  // a link's target
  bool operator==(const PathState&) const = default;
};

// One path the run would change.
struct PathChange {
  std::string path;
  PathState before, after;
  std::optional<std::string> moved_from;  // the path it is renamed from
};

class FileView final : public FileWrites {
 public:
  [[nodiscard]] bool exists(const std::string& path) override;
  [[nodiscard]] std::unique_ptr<StanzaFile> open_stanza(const std::string& path, vd_status_t& status) override;
  [[nodiscard]] int close_stanza(std::unique_ptr<StanzaFile> file) override;
  [[nodiscard]] bool rename(const std::string& from, const std::string& to) override;
  void remove(const std::string& path) override;
  // Owners and modes are not part of what a plan shows.
  void set_owner_and_mode(const std::string&, uid_t, gid_t, mode_t) override {}
  // A memory file, named by its descriptor: a plan makes no file on disk,
  // not even one it would remove again.
  [[nodiscard]] sys::UniqueFd scratch_file(const std::string& name_template, std::string& path) override;

  // What the commands a plan records would do to files.
  void make_link(const std::string& link, const std::string& target);
  void copy(const std::string& source, const std::string& target);

  // The paths whose state differs from the disk's, by path; a path renamed
  // away is shown at its new name only.
  std::vector<PathChange> changes() const;

 private:
  PathState& now(const std::string& path);

  std::map<std::string, PathState> before_;
  std::map<std::string, PathState> now_;
  std::map<std::string, std::string> moved_from_;
  std::map<const StanzaFile*, std::string> open_paths_;
};

// What is at the path on disk; a link's text is its target's contents.
PathState read_path_state(const std::string& path);
// The contents of the regular file at the path (links followed); empty for
// anything else or when it cannot be read.
std::string regular_file_text(const std::string& path);
