// What a run knows of the stanza files it has opened: the document of each
// file's contents, so that a file is parsed once however often the run
// opens it, and the files it writes are known without reading them back.
//
// A file is trusted to hold what was read when its identity is unchanged
// (device, inode, size, modification and change time).  That proves little
// about a file changed just before it was looked at: file systems keep
// times as coarse as two seconds, so a second change within the same tick
// leaves every field as it was.  Such a file is read again and compared
// byte for byte; only a difference makes it parsed again.
#pragma once

#include <sys/stat.h>
#include <time.h>

#include <optional>
#include <string>
#include <unordered_map>
#include <variant>

#include "file_read.h"
#include "stanza_document.h"
#include "stanza_file_stats.h"

namespace stz {

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified {};
  struct timespec changed {};
};
FileIdentity identityOf(const struct stat& info);
bool sameIdentity(const FileIdentity& a, const FileIdentity& b);

// Whether a file last changed at `changed` can have changed again since
// `looked_at` without its change time showing it.
bool changeTimeIsConclusive(const struct timespec& changed, const struct timespec& looked_at);

using ReadResult = std::variant<Document, SyntaxError>;

class DocumentCache {
 public:
  // The document of the opened file's contents, or nothing with the reason
  // in `why` when the file could not be read.
  std::optional<ReadResult> documentOf(const std::string& path, const OpenedFile& file, std::string& why);
  // The document has just been written to `path`.
  void rememberWritten(const std::string& path, const Document& document);
  void forget(const std::string& path) { known_.erase(path); }
  StanzaFileStats statsOf(const std::string& path) const;

 private:
  struct Known {
    ReadResult contents;
    FileIdentity identity;
    bool conclusive = false;  // the identity alone shows whether the file changed
  };

  std::unordered_map<std::string, Known> known_;
  std::unordered_map<std::string, StanzaFileStats> stats_;
};

// The run's cache: one process is one run.
DocumentCache& runDocuments();

}  // namespace stz
