// A stanza file as its parsed text plus the edits made to it, so that
// whatever is not edited is written back byte for byte.  The text is shared
// and never changed (ParsedText); the edits are a small overlay of changed,
// deleted and added lines.  Copying a Document copies only the overlay.
//
// A duplicate stanza or entry is kept but only its first occurrence is ever
// found or edited.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "stanza_syntax.h"
#include "stanza_text.h"

namespace stz {

struct Entry {
  std::string name;
  std::optional<std::string> value;
};

class Document {
 public:
  static std::variant<Document, SyntaxError> parse(std::string_view bytes);
  // The same, taking the bytes over instead of copying them.
  static std::variant<Document, SyntaxError> parseOwned(TextBuffer bytes);

  std::optional<StanzaId> findStanza(std::string_view name) const;
  // Appends a new stanza at the end; the caller knows it is absent.
  StanzaId appendStanza(std::string_view name);

  std::optional<Entry> findEntry(StanzaId stanza, std::string_view name) const;
  // Both return whether the text changed.
  bool setEntry(StanzaId stanza, std::string_view name, std::optional<std::string_view> value);
  bool deleteEntry(StanzaId stanza, std::string_view name);

  // The text to write, in pieces that refer to the document: valid until
  // it is next edited.  A large file edited in a few places is written and
  // compared without being copied.
  std::vector<std::string_view> pieces() const;
  std::string serialize() const;

  // Bytes held beside the text the document was parsed from.
  std::size_t memoryUsed() const;

 private:
  explicit Document(std::shared_ptr<const ParsedText> base) : base_(std::move(base)) {}

  // Where the visible line of an entry is: a line of the parsed text (`at`
  // its start), an added line inserted before position `at` of the text
  // (`index` in that group), or a line of an appended stanza.
  struct Place {
    enum class Kind { Parsed, Inserted, Appended } kind = Kind::Parsed;
    std::uint32_t at = 0;
    std::size_t index = 0;
  };
  struct NewStanza {
    std::string name;
    std::string header;  // the header line, without its line end
    bool blank_before = false;
    std::vector<std::string> lines;  // entries, without line ends
  };

  bool isAppended(StanzaId stanza) const { return stanza >= base_->blockCount(); }
  NewStanza& appended(StanzaId stanza) { return appended_[stanza - base_->blockCount()]; }
  const NewStanza& appended(StanzaId stanza) const { return appended_[stanza - base_->blockCount()]; }

  std::optional<Place> findPlace(StanzaId stanza, std::string_view name) const;
  std::optional<Place> findParsed(StanzaId stanza, std::string_view name) const;
  std::optional<Place> findInserted(StanzaId stanza, std::string_view name) const;
  std::string_view textAt(const Place& place) const;
  std::string& editableTextAt(const Place& place);
  bool isDeleted(std::uint32_t line_begin) const;
  std::optional<std::uint32_t> nextDuplicate(StanzaId stanza, std::uint32_t after, std::string_view name) const;
  void insertEntryLine(StanzaId stanza, std::string line);
  std::uint32_t insertionPoint(StanzaId stanza) const;
  bool lastLineIsBlankOrAbsent() const;

  std::shared_ptr<const ParsedText> base_;
  std::map<std::uint32_t, std::optional<std::string>> changed_;  // line start: new text, or none when deleted
  std::map<std::uint32_t, std::vector<std::string>> inserted_;   // position: new entry lines placed there
  // The visible line of an entry once its first occurrence was deleted.
  std::map<std::pair<StanzaId, std::string>, std::optional<std::uint32_t>> promoted_;
  std::vector<NewStanza> appended_;
};

}  // namespace stz
