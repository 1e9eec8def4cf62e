// Stanza file library: the files of "[stanza]" headers and "entry = value"
// lines that hold the product's configuration.  platform/stanza is our
// implementation; its syntax is described in docs/stanza-files.md.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "vd_svc.h"

inline constexpr int STZ_MODE_READ = 1;
inline constexpr int STZ_MODE_UPDATE = 2;

struct StanzaFileState;

struct StanzaFile {
  std::int32_t error = 0;               // 0 after a successful edit
  std::optional<std::string> value;     // value of the current entry; none when it has no value
  std::optional<std::string> name;      // name of the current entry; none when no entry is current

  StanzaFile();
  ~StanzaFile();
  StanzaFile(const StanzaFile&) = delete;
  StanzaFile& operator=(const StanzaFile&) = delete;

  std::unique_ptr<StanzaFileState> state;
};

// Opens a file.  On failure returns nothing and sets status to a nonzero
// library code (see stzErrorText); on success status is left as it was.
std::unique_ptr<StanzaFile> stzFileOpen(const std::string& path, int mode, vd_status_t& status);
int stzMoveEntry(StanzaFile& file, std::string_view stanza, std::string_view entry);
int stzAddStanza(StanzaFile& file, std::string_view stanza);
int stzAddEntry(StanzaFile& file, std::string_view entry, std::optional<std::string_view> value);
int stzDeleteEntry(StanzaFile& file, std::string_view stanza, std::string_view entry);
// Writes the changes of an update handle back (atomically) and releases it.
// Returns 0 on success.  Dropping a handle without closing it discards its
// changes.
int stzFileClose(std::unique_ptr<StanzaFile> file);

// A handle over `text` as the contents of `path`, which is neither read nor
// ever written: closing it writes nothing.  For a preview that edits a
// file's contents in memory; stzFileText gives the contents as edited.
std::unique_ptr<StanzaFile> stzTextOpen(const std::string& path, std::string_view text, int mode,
                                        vd_status_t& status);
std::string stzFileText(const StanzaFile& file);

// Text for a library code, with the file and line of the last such failure.
std::string stzErrorText(vd_status_t code);
