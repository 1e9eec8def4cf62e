#include "stanza_syntax.h"


namespace stz {
namespace {

constexpr auto npos = std::string_view::npos;

std::size_t trimBlanksBefore(std::string_view text, std::size_t begin, std::size_t end) {
  while (end > begin && isBlank(text[end - 1])) --end;
  return end;
}

bool onlyBlanksFrom(std::string_view text, std::size_t pos) { return skipBlanks(text, pos) == text.size(); }

std::variant<LineShape, SyntaxFault> scanHeader(std::string_view text, std::size_t open) {
  const std::size_t close = text.find(']', open + 1);
  if (close == npos) return SyntaxFault::MissingBracket;
  if (!onlyBlanksFrom(text, close + 1)) return SyntaxFault::JunkAfterHeader;
  const std::size_t begin = skipBlanks(text, open + 1);
  const std::size_t end = trimBlanksBefore(text, begin, close);
  if (begin == end) return SyntaxFault::EmptyStanzaName;
  LineShape line;
  line.kind = LineKind::Header;
  line.name = text.substr(begin, end - begin);
  return line;
}

// Only \" and \\ are escapes; any other backslash stays as it is, so that a
// quoted value written by hand with a lone backslash still means what it
// shows.
bool escapesNext(std::string_view text, std::size_t pos) {
  return text[pos] == '\\' && pos + 1 < text.size() && (text[pos + 1] == '"' || text[pos + 1] == '\\');
}

// Where the closing quote of the value opened at `open` stands.
std::variant<std::size_t, SyntaxFault> findClosingQuote(std::string_view text, std::size_t open) {
  for (std::size_t pos = open + 1; pos < text.size(); ++pos) {
    if (text[pos] == '"') {
      if (!onlyBlanksFrom(text, pos + 1)) return SyntaxFault::JunkAfterQuote;
      return pos;
    }
    if (escapesNext(text, pos)) ++pos;
  }
  return SyntaxFault::UnterminatedQuote;
}

std::string unquote(std::string_view quoted) {
  std::string value;
  value.reserve(quoted.size());
  for (std::size_t pos = 0; pos < quoted.size(); ++pos) {
    if (escapesNext(quoted, pos)) ++pos;
    value.push_back(quoted[pos]);
  }
  return value;
}

std::variant<LineShape, SyntaxFault> scanEntry(std::string_view text, std::size_t begin) {
  LineShape line;
  line.kind = LineKind::Entry;
  line.equals = text.find('=', begin);
  line.name_end = trimBlanksBefore(text, begin, line.equals == npos ? text.size() : line.equals);
  if (line.name_end == begin) return SyntaxFault::EmptyEntryName;
  line.name = text.substr(begin, line.name_end - begin);
  if (line.equals == npos) {
    line.value_begin = text.size();
    return line;
  }
  line.value_begin = skipBlanks(text, line.equals + 1);
  if (line.value_begin < text.size() && text[line.value_begin] == '"') {
    const auto close = findClosingQuote(text, line.value_begin);
    if (const auto* fault = std::get_if<SyntaxFault>(&close)) return *fault;
  }
  return line;
}

bool hasLineBreakOrNul(std::string_view text) { return text.find_first_of(std::string_view("\n\0", 2)) != npos; }

bool hasBlankEdge(std::string_view text) { return isBlank(text.front()) || isBlank(text.back()); }

bool needsQuotes(std::string_view value) {
  // A trailing CR would be taken for half of a CRLF line end.
  return value.empty() || hasBlankEdge(value) || value.front() == '"' || value.back() == '\r';
}

}  // namespace

std::string_view faultText(SyntaxFault fault) {
  switch (fault) {
    case SyntaxFault::EntryOutsideStanza: return "entry before the first stanza header";
    case SyntaxFault::UnterminatedQuote: return "unterminated quote";
    case SyntaxFault::MissingBracket: return "stanza header without ']'";
    case SyntaxFault::EmptyStanzaName: return "empty stanza name";
    case SyntaxFault::JunkAfterHeader: return "text after the stanza header";
    case SyntaxFault::JunkAfterQuote: return "text after the closing quote";
    case SyntaxFault::EmptyEntryName: return "empty entry name";
  }
  return "malformed line";
}

std::variant<LineShape, SyntaxFault> scanLine(std::string_view text) {
  const std::size_t first = skipBlanks(text, 0);
  if (first == text.size()) return LineShape{};
  if (text[first] == '#') {
    LineShape line;
    line.kind = LineKind::Comment;
    return line;
  }
  if (text[first] == '[') return scanHeader(text, first);
  return scanEntry(text, first);
}

std::optional<SyntaxFault> checkHeader(std::string_view text, std::size_t open) {
  const auto header = scanHeader(text, open);
  if (const auto* fault = std::get_if<SyntaxFault>(&header)) return *fault;
  return std::nullopt;
}

std::optional<SyntaxFault> checkQuotedValue(std::string_view text, std::size_t open) {
  const auto close = findClosingQuote(text, open);
  if (const auto* fault = std::get_if<SyntaxFault>(&close)) return *fault;
  return std::nullopt;
}

std::optional<std::string> entryValue(std::string_view text, const LineShape& shape) {
  if (shape.equals == npos) return std::nullopt;
  if (shape.value_begin < text.size() && text[shape.value_begin] == '"') {
    const std::size_t close = std::get<std::size_t>(findClosingQuote(text, shape.value_begin));
    return unquote(text.substr(shape.value_begin + 1, close - shape.value_begin - 1));
  }
  const std::size_t end = trimBlanksBefore(text, shape.value_begin, text.size());
  return std::string(text.substr(shape.value_begin, end - shape.value_begin));
}

std::variant<ParsedLine, SyntaxFault> parseLine(std::string_view text) {
  auto scanned = scanLine(text);
  if (const auto* fault = std::get_if<SyntaxFault>(&scanned)) return *fault;
  const LineShape& shape = std::get<LineShape>(scanned);
  ParsedLine line;
  static_cast<EntryLayout&>(line) = shape;
  line.kind = shape.kind;
  line.name.assign(shape.name);
  if (shape.kind == LineKind::Entry) line.value = entryValue(text, shape);
  return line;
}

bool isWritableStanzaName(std::string_view name) {
  return !name.empty() && !hasLineBreakOrNul(name) && name.find(']') == npos && !hasBlankEdge(name);
}

bool isWritableEntryName(std::string_view name) {
  return !name.empty() && !hasLineBreakOrNul(name) && name.find('=') == npos && !hasBlankEdge(name) &&
         name.front() != '[' && name.front() != '#' && name.back() != '\r';
}

bool isWritableValue(std::string_view value) { return !hasLineBreakOrNul(value); }

std::string encodeValue(std::string_view value) {
  if (!needsQuotes(value)) return std::string(value);
  std::string quoted = "\"";
  for (const char c : value) {
    if (c == '"' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return quoted;
}

std::string formatHeaderLine(std::string_view name) {
  std::string line = "[";
  line.append(name);
  line.push_back(']');
  return line;
}

std::string formatEntryLine(std::string_view name, std::optional<std::string_view> value) {
  std::string line(name);
  if (value) line.append(" = ").append(encodeValue(*value));
  return line;
}

std::string rewriteEntryLine(std::string_view text, const EntryLayout& parsed,
                             std::optional<std::string_view> value) {
  if (!value) return std::string(text.substr(0, parsed.name_end));
  const std::string encoded = encodeValue(*value);
  if (parsed.equals == npos) return std::string(text.substr(0, parsed.name_end)) + " = " + encoded;
  if (parsed.value_begin < text.size()) return std::string(text.substr(0, parsed.value_begin)) + encoded;
  // "name =" held an empty value: one blank keeps the usual look.
  return std::string(text.substr(0, parsed.equals + 1)) + " " + encoded;
}

}  // namespace stz
