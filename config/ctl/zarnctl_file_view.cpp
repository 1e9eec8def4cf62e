#include "zarnctl_file_view.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "sys_fd.h"

std::string regular_file_text(const std::string& path) {
  // O_NONBLOCK and the check: a FIFO or device must not block or be consumed.
  const sys::UniqueFd file = sys::open_fd(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
  struct stat info {};
  std::string text;
  if (!file.valid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return text;
  if (!sys::read_all(file.get(), text)) text.clear();
  return text;
}

PathState read_path_state(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return {};
  if (S_ISLNK(info.st_mode)) {
    std::error_code ignored;
    return {PathState::Kind::link, regular_file_text(path), std::filesystem::read_symlink(path, ignored).string()};
  }
  return {PathState::Kind::file, regular_file_text(path), ""};
}

PathState& FileView::now(const std::string& path) {
  auto found = now_.find(path);
  if (found != now_.end()) return found->second;
  const PathState on_disk = read_path_state(path);
  before_.emplace(path, on_disk);
  return now_.emplace(path, on_disk).first->second;
}

bool FileView::exists(const std::string& path) {
  const PathState& state = now(path);
  if (state.kind != PathState::Kind::link) return state.kind == PathState::Kind::file;
  // Looked through, one step: the links a run makes point at files.
  std::filesystem::path target = state.target;
  if (target.is_relative()) target = std::filesystem::path(path).parent_path() / target;
  return now(target.string()).kind != PathState::Kind::absent;
}

std::unique_ptr<StanzaFile> FileView::open_stanza(const std::string& path, vd_status_t& status) {
  auto file = stzTextOpen(path, now(path).text, STZ_MODE_UPDATE, status);
  if (file) open_paths_[file.get()] = path;
  return file;
}

int FileView::close_stanza(std::unique_ptr<StanzaFile> file) {
  const auto found = open_paths_.find(file.get());
  if (found == open_paths_.end()) return stzFileClose(std::move(file));
  PathState& state = now(found->second);
  // Written through a link, the link stays and its target changes.
  if (state.kind == PathState::Kind::absent) state.kind = PathState::Kind::file;
  state.text = stzFileText(*file);
  open_paths_.erase(found);
  return 0;
}

bool FileView::rename(const std::string& from, const std::string& to) {
  PathState& source = now(from);
  if (source.kind == PathState::Kind::absent) return false;
  now(to) = source;
  now(from) = PathState{};
  moved_from_[to] = from;
  return true;
}

void FileView::remove(const std::string& path) {
  now(path) = PathState{};
  moved_from_.erase(path);
}

sys::UniqueFd FileView::scratch_file(const std::string& /*name_template*/, std::string& path) {
  sys::UniqueFd file(::memfd_create("zarnctl-scratch", MFD_CLOEXEC));
  if (file.valid()) path = "/proc/self/fd/" + std::to_string(file.get());
  return file;
}

void FileView::make_link(const std::string& link, const std::string& target) {
  const PathState target_state = now(target);
  now(link) = PathState{PathState::Kind::link, target_state.text, target};
}

void FileView::copy(const std::string& source, const std::string& target) {
  const std::string text = now(source).text;
  PathState& state = now(target);
  if (state.kind == PathState::Kind::absent) state.kind = PathState::Kind::file;
  state.text = text;
}

std::vector<PathChange> FileView::changes() const {
  std::vector<PathChange> changes;
  for (const auto& [path, after] : now_) {
    const PathState& before = before_.at(path);
    if (before == after) continue;
    const auto moved = moved_from_.find(path);
    if (after.kind == PathState::Kind::absent) {
      const bool moved_away = std::any_of(moved_from_.begin(), moved_from_.end(),
                                          [&](const auto& row) { return row.second == path; });
      if (moved_away) continue;
    }
    changes.push_back({path, before, after, moved == moved_from_.end() ? std::nullopt : std::optional(moved->second)});
  }
  return changes;
}
