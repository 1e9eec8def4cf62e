#include "stanza_document.h"

#include <cstring>
#include <utility>

namespace stz {
namespace {

constexpr char kLf = '\n';

// The line up to the next LF.  A CR before the LF belongs to the line end,
// so files edited on other systems read the same and keep their line ends.
std::string_view nextLine(std::string_view bytes, std::size_t& pos, LineEnd& end) {
  const std::size_t begin = pos;
  const void* found = std::memchr(bytes.data() + begin, kLf, bytes.size() - begin);
  if (found == nullptr) {
    pos = bytes.size();
    end = bytes.back() == '\r' ? LineEnd::Cr : LineEnd::None;
    return bytes.substr(begin, bytes.size() - begin - (end == LineEnd::Cr ? 1 : 0));
  }
  const auto lf = static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
  pos = lf + 1;
  if (lf > begin && bytes[lf - 1] == '\r') {
    end = LineEnd::CrLf;
    return bytes.substr(begin, lf - 1 - begin);
  }
  end = LineEnd::Lf;
  return bytes.substr(begin, lf - begin);
}

// Lines written by edits parse by construction; should one ever not, it is
// treated as having no name rather than trusted.
std::optional<ParsedLine> parseEntryLine(const Line& line) {
  auto parsed = parseLine(line.text);
  auto* entry = std::get_if<ParsedLine>(&parsed);
  if (entry == nullptr || entry->kind != LineKind::Entry) return std::nullopt;
  return std::move(*entry);
}

bool sameValue(const std::optional<std::string>& old_value, std::optional<std::string_view> new_value) {
  if (old_value.has_value() != new_value.has_value()) return false;
  return !new_value || *old_value == *new_value;
}

}  // namespace

Document::Document() { blocks_.emplace_back(); }

std::variant<Document, SyntaxError> Document::parse(std::string_view bytes) {
  Document document;
  SyntaxError error;
  std::size_t pos = 0;
  std::size_t line_number = 0;
  while (pos < bytes.size()) {
    LineEnd end = LineEnd::None;
    const std::string_view text = nextLine(bytes, pos, end);
    if (!document.addLine(text, end, ++line_number, error)) return error;
  }
  return document;
}

bool Document::addLine(std::string_view text, LineEnd end, std::size_t line_number, SyntaxError& error) {
  auto parsed = parseLine(text);
  if (auto* fault = std::get_if<SyntaxFault>(&parsed)) {
    error = {line_number, *fault};
    return false;
  }
  auto& line = std::get<ParsedLine>(parsed);
  if (line.kind == LineKind::Entry && blocks_.size() == 1) {
    error = {line_number, SyntaxFault::EntryOutsideStanza};
    return false;
  }
  if (line.kind == LineKind::Header) {
    blocks_.emplace_back();
    blocks_.back().indexed = first_block_.try_emplace(std::move(line.name), blocks_.size() - 1).second;
  }
  Block& block = blocks_.back();
  block.lines.push_back(Line{std::string(text), line.kind, end});
  if (line.kind == LineKind::Entry && block.indexed) {
    block.entries.try_emplace(std::move(line.name), block.lines.size() - 1);
  }
  return true;
}

std::optional<StanzaId> Document::findStanza(std::string_view name) const {
  const auto found = first_block_.find(name);
  if (found == first_block_.end()) return std::nullopt;
  return found->second;
}

StanzaId Document::appendStanza(std::string_view name) {
  // A blank line keeps the new stanza apart from whatever ends the file.
  const Line* last = lastLiveLine();
  if (last != nullptr && last->kind != LineKind::Blank) blocks_.back().lines.push_back(Line{});
  blocks_.emplace_back();
  blocks_.back().lines.push_back(Line{formatHeaderLine(name), LineKind::Header, LineEnd::Lf});
  blocks_.back().indexed = true;
  first_block_.emplace(std::string(name), blocks_.size() - 1);
  return blocks_.size() - 1;
}

const Line* Document::lastLiveLine() const {
  for (auto block = blocks_.rbegin(); block != blocks_.rend(); ++block) {
    for (auto line = block->lines.rbegin(); line != block->lines.rend(); ++line) {
      if (!line->erased) return &*line;
    }
  }
  return nullptr;
}

std::optional<Entry> Document::findEntry(StanzaId stanza, std::string_view name) const {
  const Block& block = blocks_[stanza];
  const auto found = block.entries.find(name);
  if (found == block.entries.end()) return std::nullopt;
  auto parsed = parseEntryLine(block.lines[found->second]);
  if (!parsed) return std::nullopt;
  return Entry{std::move(parsed->name), std::move(parsed->value)};
}

bool Document::setEntry(StanzaId stanza, std::string_view name, std::optional<std::string_view> value) {
  Block& block = blocks_[stanza];
  if (const auto found = block.entries.find(name); found != block.entries.end()) {
    Line& line = block.lines[found->second];
    const auto parsed = parseEntryLine(line);
    if (parsed && sameValue(parsed->value, value)) return false;
    line.text = parsed ? rewriteEntryLine(line.text, *parsed, value) : formatEntryLine(name, value);
    return true;
  }
  const std::size_t at = insertionPoint(block);
  block.lines.insert(block.lines.begin() + static_cast<std::ptrdiff_t>(at),
                     Line{formatEntryLine(name, value), LineKind::Entry, LineEnd::Lf});
  for (auto& [entry_name, index] : block.entries) {
    if (index >= at) ++index;
  }
  block.entries.emplace(std::string(name), at);
  return true;
}

// After the last live entry, so that comments and blank lines that lead
// into the next stanza stay where they are.
std::size_t Document::insertionPoint(const Block& block) const {
  for (std::size_t at = block.lines.size(); at > 1; --at) {
    const Line& line = block.lines[at - 1];
    if (!line.erased && line.kind == LineKind::Entry) return at;
  }
  return 1;
}

bool Document::deleteEntry(StanzaId stanza, std::string_view name) {
  Block& block = blocks_[stanza];
  const auto found = block.entries.find(name);
  if (found == block.entries.end()) return false;
  const std::size_t deleted = found->second;
  block.lines[deleted].erased = true;
  block.entries.erase(found);
  reindexAfterDelete(block, name, deleted);
  return true;
}

// A later duplicate becomes the first occurrence, as it would be when the
// file is read again.
void Document::reindexAfterDelete(Block& block, std::string_view name, std::size_t deleted) {
  for (std::size_t at = deleted + 1; at < block.lines.size(); ++at) {
    const Line& line = block.lines[at];
    if (line.erased || line.kind != LineKind::Entry) continue;
    auto parsed = parseEntryLine(line);
    if (parsed && parsed->name == name) {
      block.entries.emplace(std::move(parsed->name), at);
      return;
    }
  }
}

std::string Document::serialize() const {
  std::string out;
  bool line_open = false;  // only the file's last line may lack its end
  for (const Block& block : blocks_) {
    for (const Line& line : block.lines) {
      if (line.erased) continue;
      if (line_open) out.push_back(kLf);
      out.append(line.text);
      line_open = line.end == LineEnd::None || line.end == LineEnd::Cr;
      if (line.end == LineEnd::Cr) out.push_back('\r');
      if (line.end == LineEnd::CrLf) out.append("\r\n");
      if (line.end == LineEnd::Lf) out.push_back(kLf);
    }
  }
  return out;
}

}  // namespace stz
