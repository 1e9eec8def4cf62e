// The text of a document: the parsed text with the overlay laid over it,
// handed out in pieces so that a large file is neither copied to be written
// nor to be compared.
#include <algorithm>
#include <utility>

#include "stanza_document.h"

namespace stz {
namespace {

// Collects the pieces and remembers whether the last one ended its line:
// only the file's last line may lack its line end, and whatever follows it
// needs one first.
class PieceList {
 public:
  void put(std::string_view piece) {
    if (piece.empty()) return;
    pieces_.push_back(piece);
    line_open_ = piece.back() != '\n';
  }
  void endOpenLine() {
    if (line_open_) put("\n");
  }
  void putLine(std::string_view text) {
    endOpenLine();
    put(text);
    put("\n");
  }
  std::vector<std::string_view> take() { return std::move(pieces_); }

 private:
  std::vector<std::string_view> pieces_;
  bool line_open_ = false;
};

}  // namespace

std::vector<std::string_view> Document::pieces() const {
  PieceList out;
  const std::string_view text = base_->text();
  std::uint32_t pos = 0;
  auto changed = changed_.begin();
  auto inserted = inserted_.begin();
  while (changed != changed_.end() || inserted != inserted_.end()) {
    const std::uint32_t at = std::min(changed != changed_.end() ? changed->first : UINT32_MAX,
                                      inserted != inserted_.end() ? inserted->first : UINT32_MAX);
    out.put(text.substr(pos, at - pos));
    pos = at;
    // Added lines stand before the line of the text at their position.
    if (inserted != inserted_.end() && inserted->first == at) {
      for (const std::string& line : (inserted++)->second) out.putLine(line);
    }
    if (changed != changed_.end() && changed->first == at) {
      const LineSpan line = base_->lineAt(at);
      if (changed->second) {
        out.put(*changed->second);
        out.put(text.substr(line.text_end, line.next - line.text_end));
      }
      pos = line.next;
      ++changed;
    }
  }
  out.put(text.substr(pos));
  for (const NewStanza& stanza : appended_) {
    out.endOpenLine();
    if (stanza.blank_before) out.put("\n");
    out.putLine(stanza.header);
    for (const std::string& line : stanza.lines) out.putLine(line);
  }
  return out.take();
}

std::string Document::serialize() const {
  std::string out;
  out.reserve(base_->size());
  for (const std::string_view piece : pieces()) out.append(piece);
  return out;
}

std::size_t Document::memoryUsed() const {
  // A tree node: three links and a colour beside the element.
  constexpr std::size_t kNode = 4 * sizeof(void*);
  const auto heap = [](const std::string& s) { return s.capacity() > 15 ? s.capacity() + 1 : 0; };
  std::size_t used = base_->memoryUsed() + appended_.capacity() * sizeof(NewStanza);
  for (const auto& [at, line] : changed_) used += kNode + sizeof(at) + sizeof(line) + (line ? heap(*line) : 0);
  for (const auto& [at, lines] : inserted_) {
    used += kNode + sizeof(at) + sizeof(lines) + lines.capacity() * sizeof(std::string);
    for (const std::string& line : lines) used += heap(line);
  }
  for (const auto& [key, at] : promoted_) used += kNode + sizeof(key) + sizeof(at) + heap(key.second);
  for (const NewStanza& stanza : appended_) {
    used += heap(stanza.name) + heap(stanza.header) + stanza.lines.capacity() * sizeof(std::string);
    for (const std::string& line : stanza.lines) used += heap(line);
  }
  return used;
}

}  // namespace stz
