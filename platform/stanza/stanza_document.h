// A stanza file held as its lines, so that whatever is not edited is
// written back byte for byte.  Stanzas and entries are found through
// indexes; a duplicate stanza or entry is kept but only its first
// occurrence is ever found or edited.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "stanza_syntax.h"

namespace stz {

// Cr only ends the file's last line: a CR there is the start of a CRLF
// that was never finished, and becomes one when a line is added after it.
enum class LineEnd : unsigned char { None, Lf, CrLf, Cr };

struct Line {
  std::string text;  // without the line end
  LineKind kind = LineKind::Blank;
  LineEnd end = LineEnd::Lf;
  bool erased = false;  // deleted entries stay as tombstones so indexes hold
};

struct SyntaxError {
  std::size_t line_number = 0;  // counted from 1
  SyntaxFault fault = SyntaxFault::EntryOutsideStanza;
};

struct Entry {
  std::string name;
  std::optional<std::string> value;
};

// Lets the indexes be searched with a string_view without a copy.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};
using NameIndex = std::unordered_map<std::string, std::size_t, NameHash, std::equal_to<>>;

using StanzaId = std::size_t;

class Document {
 public:
  static std::variant<Document, SyntaxError> parse(std::string_view bytes);

  std::optional<StanzaId> findStanza(std::string_view name) const;
  // Appends a new stanza at the end; the caller knows it is absent.
  StanzaId appendStanza(std::string_view name);

  std::optional<Entry> findEntry(StanzaId stanza, std::string_view name) const;
  // Both return whether the text changed.
  bool setEntry(StanzaId stanza, std::string_view name, std::optional<std::string_view> value);
  bool deleteEntry(StanzaId stanza, std::string_view name);

  std::string serialize() const;

 private:
  // A header and the lines up to the next header; block 0 holds the lines
  // before the first header and has no header.
  struct Block {
    std::vector<Line> lines;  // lines[0] is the header, except in block 0
    NameIndex entries;        // first live occurrence of each entry name
    bool indexed = false;     // first block of its name; later ones are never searched
  };

  Document();
  bool addLine(std::string_view text, LineEnd end, std::size_t line_number, SyntaxError& error);
  void reindexAfterDelete(Block& block, std::string_view name, std::size_t deleted);
  std::size_t insertionPoint(const Block& block) const;
  const Line* lastLiveLine() const;

  std::vector<Block> blocks_;
  NameIndex first_block_;
};

}  // namespace stz
