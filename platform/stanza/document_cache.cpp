#include "document_cache.h"

#include <utility>

namespace stz {
namespace {

// The coarsest time stamps of a Linux file system (FAT's, two seconds),
// with the kernel's clock tick well inside it.
constexpr time_t kCoarsestTimestamp = 2;

bool sameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool before(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

FileIdentity identityOf(const struct stat& info) {
  return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

bool sameIdentity(const FileIdentity& a, const FileIdentity& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size && sameTime(a.modified, b.modified) &&
         sameTime(a.changed, b.changed);
}

bool changeTimeIsConclusive(const struct timespec& changed, const struct timespec& looked_at) {
  struct timespec settled = changed;
  settled.tv_sec += kCoarsestTimestamp;
  return before(settled, looked_at);
}

std::optional<ReadResult> DocumentCache::documentOf(const std::string& path, const OpenedFile& file,
                                                    std::string& why) {
  const FileIdentity seen = identityOf(file.info);
  const bool conclusive = changeTimeIsConclusive(file.info.st_ctim, file.looked_at);
  StanzaFileStats& stats = stats_[path];
  const auto known = known_.find(path);
  if (known != known_.end()) {
    Known& last = known->second;
    if (last.conclusive && sameIdentity(last.identity, seen)) return last.contents;
    // The remembered identity is that of a file that held the document, so
    // another size means other contents.
    const auto* document = std::get_if<Document>(&last.contents);
    if (document != nullptr && last.identity.size == seen.size) {
      ++stats.reads;
      if (fileHolds(file, document->pieces())) {
        last.identity = seen;
        last.conclusive = conclusive;
        return last.contents;
      }
    }
  }
  TextBuffer bytes;
  if (!readOpenedFile(file, bytes, why)) return std::nullopt;
  ++stats.reads;
  ++stats.parses;
  ReadResult contents = Document::parseOwned(std::move(bytes));
  known_.insert_or_assign(path, Known{contents, seen, conclusive});
  return contents;
}

void DocumentCache::rememberWritten(const std::string& path, const Document& document) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    forget(path);
    return;
  }
  // Just written, so never conclusive: the next open compares the bytes.
  known_.insert_or_assign(path, Known{document, identityOf(info), false});
}

StanzaFileStats DocumentCache::statsOf(const std::string& path) const {
  const auto found = stats_.find(path);
  return found == stats_.end() ? StanzaFileStats{} : found->second;
}

DocumentCache& runDocuments() {
  static DocumentCache cache;
  return cache;
}

}  // namespace stz

StanzaFileStats stzFileStats(const std::string& path) { return stz::runDocuments().statsOf(path); }
