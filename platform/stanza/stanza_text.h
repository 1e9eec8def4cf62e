// A stanza file's text, checked once, with where each stanza's block lies
// and indexes of the names in it.  It never changes once parsed: every
// handle on the same contents shares it and keeps its own edits beside it
// (see Document), so a file read once serves every later open of the run.
//
// Lines and entries are positions into the one text, not copies: the
// indexes cost a few bytes per line, and a block's entries are indexed only
// when something is first looked up in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "name_index.h"
#include "stanza_syntax.h"
#include "text_buffer.h"

namespace stz {

struct SyntaxError {
  std::size_t line_number = 0;  // counted from 1
  SyntaxFault fault = SyntaxFault::EntryOutsideStanza;
};

// Block 0 holds the lines before the first header; block b > 0 starts at
// the b-th header and runs to the next one.
using StanzaId = std::size_t;

// One line: its text is [begin, text_end), its line end [text_end, next).
// A CR before the LF belongs to the line end, so files edited on other
// systems read the same and keep their line ends; a CR as the file's very
// last byte is an unfinished CRLF and belongs to the line end too.
struct LineSpan {
  std::uint32_t begin = 0;
  std::uint32_t text_end = 0;
  std::uint32_t next = 0;
};

class ParsedText {
 public:
  // Positions are kept in 32 bits; larger texts are refused before this.
  static constexpr std::size_t kMaxSize = UINT32_MAX - 1;

  static std::variant<std::shared_ptr<const ParsedText>, SyntaxError> parse(TextBuffer bytes);

  std::string_view text() const { return text_.view(); }
  std::uint32_t size() const { return static_cast<std::uint32_t>(text_.size()); }
  std::size_t blockCount() const { return block_starts_.size(); }

  // Only the first block of a name is ever found.
  std::optional<StanzaId> findStanza(std::string_view name) const;
  // The first line of the entry in a block that findStanza gives.
  std::optional<std::uint32_t> findEntry(StanzaId block, std::string_view name) const;

  std::uint32_t bodyBegin(StanzaId block) const;  // the line after the header
  std::uint32_t blockEnd(StanzaId block) const;   // the next header, or the end
  LineSpan lineAt(std::uint32_t begin) const {
    const char* data = text_.data();
    const void* lf = std::memchr(data + begin, '\n', text_.size() - begin);
    if (lf == nullptr) {
      const bool cr_last = size() > begin && data[size() - 1] == '\r';
      return {begin, size() - (cr_last ? 1u : 0u), size()};
    }
    const auto at = static_cast<std::uint32_t>(static_cast<const char*>(lf) - data);
    const bool crlf = at > begin && data[at - 1] == '\r';
    return {begin, at - (crlf ? 1u : 0u), at + 1};
  }
  // The start of the line that ends where `next` begins (next > 0).
  std::uint32_t lineBefore(std::uint32_t next) const;
  std::string_view lineText(const LineSpan& line) const {
    return text().substr(line.begin, line.text_end - line.begin);
  }

  // Bytes held beside the text itself.
  std::size_t memoryUsed() const;

 private:
  explicit ParsedText(TextBuffer bytes);
  std::optional<SyntaxFault> addLine(const LineSpan& line);
  std::string_view stanzaNameOf(std::uint32_t block) const;
  std::string_view entryNameAt(std::uint32_t begin) const;
  const NameIndex& entriesOf(StanzaId block) const;

  TextBuffer text_;
  std::vector<std::uint32_t> block_starts_;
  NameIndex stanzas_;
  mutable std::unordered_map<StanzaId, NameIndex> entries_;
};

}  // namespace stz
