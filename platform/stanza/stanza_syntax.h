// The line grammar of stanza files: how one line reads, and how names and
// values are written so that they read back unchanged.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace stz {

enum class LineKind { Blank, Comment, Header, Entry };

// Why a line cannot be read.  An entry before the first header is only
// known to be wrong by the document, which knows where the line stands.
enum class SyntaxFault {
  EntryOutsideStanza,
  UnterminatedQuote,
  MissingBracket,
  EmptyStanzaName,
  JunkAfterHeader,
  JunkAfterQuote,
  EmptyEntryName,
};

std::string_view faultText(SyntaxFault fault);

// Offsets into an entry line, so that an edit keeps the indentation and
// the spacing around "=" the file already had.
struct EntryLayout {
  std::size_t name_end = 0;
  std::size_t equals = std::string_view::npos;
  std::size_t value_begin = 0;  // the opening quote of a quoted value
};

// One line checked and taken apart without copying anything out of it:
// what reading a whole file needs.
struct LineShape : EntryLayout {
  LineKind kind = LineKind::Blank;
  std::string_view name;  // stanza name of a header, entry name of an entry
};

struct ParsedLine : EntryLayout {
  LineKind kind = LineKind::Blank;
  std::string name;                  // stanza name of a header, entry name of an entry
  std::optional<std::string> value;  // entries only; none when the line has no "="
};

// The text of one line, without its line terminator.
std::variant<LineShape, SyntaxFault> scanLine(std::string_view text);
// The checks of the rarer lines, for checkLine.
std::optional<SyntaxFault> checkHeader(std::string_view text, std::size_t open);
std::optional<SyntaxFault> checkQuotedValue(std::string_view text, std::size_t open);

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

inline std::size_t skipBlanks(std::string_view text, std::size_t pos) {
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  return pos;
}

// The same check as scanLine without taking the line apart: what reading
// a whole file does for every line, so it is kept small and inline.  Sets
// `kind` when the line is sound.
inline std::optional<SyntaxFault> checkLine(std::string_view text, LineKind& kind) {
  const std::size_t first = skipBlanks(text, 0);
  if (first == text.size() || text[first] == '#') {
    kind = first == text.size() ? LineKind::Blank : LineKind::Comment;
    return std::nullopt;
  }
  if (text[first] == '[') {
    kind = LineKind::Header;
    return checkHeader(text, first);
  }
  // The name starts at the first non-blank character, so it is empty only
  // when that is the "=".
  if (text[first] == '=') return SyntaxFault::EmptyEntryName;
  kind = LineKind::Entry;
  const std::size_t equals = text.find('=', first);
  if (equals == std::string_view::npos) return std::nullopt;
  const std::size_t value = skipBlanks(text, equals + 1);
  if (value < text.size() && text[value] == '"') return checkQuotedValue(text, value);
  return std::nullopt;
}
std::variant<ParsedLine, SyntaxFault> parseLine(std::string_view text);
// The value of the entry line `text` that scanned as `shape`; none when the
// line has no "=".
std::optional<std::string> entryValue(std::string_view text, const LineShape& shape);

bool isWritableStanzaName(std::string_view name);
bool isWritableEntryName(std::string_view name);
bool isWritableValue(std::string_view value);

// The value as it stands after "= ", quoted when it would not read back
// otherwise.
std::string encodeValue(std::string_view value);

std::string formatHeaderLine(std::string_view name);
std::string formatEntryLine(std::string_view name, std::optional<std::string_view> value);

// The entry line `text` (read as `parsed`) with its value replaced.
std::string rewriteEntryLine(std::string_view text, const EntryLayout& layout,
                             std::optional<std::string_view> value);

}  // namespace stz
