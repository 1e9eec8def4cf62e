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

struct ParsedLine {
  LineKind kind = LineKind::Blank;
  std::string name;                  // stanza name of a header, entry name of an entry
  std::optional<std::string> value;  // entries only; none when the line has no "="
  // Offsets into the line, for entries, so that an edit keeps the
  // indentation and the spacing around "=" the file already had.
  std::size_t name_end = 0;
  std::size_t equals = std::string_view::npos;
  std::size_t value_begin = 0;  // the opening quote of a quoted value
};

// The text of one line, without its line terminator.
std::variant<ParsedLine, SyntaxFault> parseLine(std::string_view text);

bool isBlank(char c);

bool isWritableStanzaName(std::string_view name);
bool isWritableEntryName(std::string_view name);
bool isWritableValue(std::string_view value);

// The value as it stands after "= ", quoted when it would not read back
// otherwise.
std::string encodeValue(std::string_view value);

std::string formatHeaderLine(std::string_view name);
std::string formatEntryLine(std::string_view name, std::optional<std::string_view> value);

// The entry line `text` (read as `parsed`) with its value replaced.
std::string rewriteEntryLine(std::string_view text, const ParsedLine& parsed,
                             std::optional<std::string_view> value);

}  // namespace stz
