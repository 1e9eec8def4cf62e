#include "stanza_text.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace stz {

ParsedText::ParsedText(TextBuffer bytes) : text_(std::move(bytes)), block_starts_{0} {}

std::variant<std::shared_ptr<const ParsedText>, SyntaxError> ParsedText::parse(TextBuffer bytes) {
  std::shared_ptr<ParsedText> parsed(new ParsedText(std::move(bytes)));
  std::size_t line_number = 0;
  for (std::uint32_t pos = 0; pos < parsed->size();) {
    const LineSpan line = parsed->lineAt(pos);
    ++line_number;
    if (const auto fault = parsed->addLine(line)) return SyntaxError{line_number, *fault};
    pos = line.next;
  }
  return std::shared_ptr<const ParsedText>(std::move(parsed));
}

std::optional<SyntaxFault> ParsedText::addLine(const LineSpan& line) {
  LineKind kind = LineKind::Blank;
  if (const auto fault = checkLine(lineText(line), kind)) return fault;
  if (kind == LineKind::Entry && block_starts_.size() == 1) return SyntaxFault::EntryOutsideStanza;
  if (kind == LineKind::Header) {
    block_starts_.push_back(line.begin);
    // A later block of the same name is kept but never found.
    (void)stanzas_.insert(static_cast<std::uint32_t>(block_starts_.size() - 1),
                          [this](std::uint32_t block) { return stanzaNameOf(block); });
  }
  return std::nullopt;
}

std::uint32_t ParsedText::lineBefore(std::uint32_t next) const {
  const std::string_view before = text().substr(0, next - 1);  // without the LF that ends that line
  const std::size_t lf = before.rfind('\n');
  return lf == std::string_view::npos ? 0 : static_cast<std::uint32_t>(lf + 1);
}

std::string_view ParsedText::stanzaNameOf(std::uint32_t block) const {
  return std::get<LineShape>(scanLine(lineText(lineAt(block_starts_[block])))).name;
}

std::string_view ParsedText::entryNameAt(std::uint32_t begin) const {
  return std::get<LineShape>(scanLine(lineText(lineAt(begin)))).name;
}

std::optional<StanzaId> ParsedText::findStanza(std::string_view name) const {
  return stanzas_.find(name, [this](std::uint32_t block) { return stanzaNameOf(block); });
}

std::optional<std::uint32_t> ParsedText::findEntry(StanzaId block, std::string_view name) const {
  return entriesOf(block).find(name, [this](std::uint32_t begin) { return entryNameAt(begin); });
}

const NameIndex& ParsedText::entriesOf(StanzaId block) const {
  const auto [found, added] = entries_.try_emplace(block);
  NameIndex& index = found->second;
  if (!added) return index;
  const auto name_of = [this](std::uint32_t begin) { return entryNameAt(begin); };
  const std::uint32_t end = blockEnd(block);
  const char* data = text_.data();
  index.reserve(static_cast<std::size_t>(std::count(data + bodyBegin(block), data + end, '\n')) + 1, name_of);
  for (std::uint32_t pos = bodyBegin(block); pos < end;) {
    const LineSpan line = lineAt(pos);
    if (std::get<LineShape>(scanLine(lineText(line))).kind == LineKind::Entry) (void)index.insert(pos, name_of);
    pos = line.next;
  }
  return index;
}

std::uint32_t ParsedText::bodyBegin(StanzaId block) const {
  return block == 0 ? 0 : lineAt(block_starts_[block]).next;
}

std::uint32_t ParsedText::blockEnd(StanzaId block) const {
  return block + 1 < block_starts_.size() ? block_starts_[block + 1] : size();
}

std::size_t ParsedText::memoryUsed() const {
  // An unordered_map node: the key, the index, the link and the cached hash.
  constexpr std::size_t kNodeSize = sizeof(StanzaId) + sizeof(NameIndex) + 2 * sizeof(void*);
  std::size_t used = text_.capacity() - text_.size();
  used += block_starts_.capacity() * sizeof(std::uint32_t) + stanzas_.memoryUsed();
  used += entries_.bucket_count() * sizeof(void*);
  for (const auto& [block, index] : entries_) used += kNodeSize + index.memoryUsed();
  return used;
}

}  // namespace stz
