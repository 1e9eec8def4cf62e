// Looking up and editing a document: the parsed text is never changed, the
// edits go into the overlay and every look-up sees the overlay first.
#include "stanza_document.h"

#include <algorithm>

namespace stz {
namespace {

// Lines written by edits parse by construction; should one ever not, it is
// treated as having no name rather than trusted.
std::optional<LineShape> entryShape(std::string_view text) {
  const auto scanned = scanLine(text);
  const auto* shape = std::get_if<LineShape>(&scanned);
  if (shape == nullptr || shape->kind != LineKind::Entry) return std::nullopt;
  return *shape;
}

// The lines of the parsed text were checked when it was read.
LineKind kindOfParsed(std::string_view text) { return std::get<LineShape>(scanLine(text)).kind; }

bool isEntryNamed(std::string_view text, std::string_view name) {
  const auto shape = entryShape(text);
  return shape && shape->name == name;
}

bool sameValue(const std::optional<std::string>& old_value, std::optional<std::string_view> new_value) {
  if (old_value.has_value() != new_value.has_value()) return false;
  return !new_value || *old_value == *new_value;
}

}  // namespace

std::variant<Document, SyntaxError> Document::parse(std::string_view bytes) { return parseOwned(TextBuffer(bytes)); }

std::variant<Document, SyntaxError> Document::parseOwned(TextBuffer bytes) {
  auto parsed = ParsedText::parse(std::move(bytes));
  if (const auto* error = std::get_if<SyntaxError>(&parsed)) return *error;
  return Document(std::move(std::get<std::shared_ptr<const ParsedText>>(parsed)));
}

std::optional<StanzaId> Document::findStanza(std::string_view name) const {
  if (const auto found = base_->findStanza(name)) return found;
  for (std::size_t k = 0; k < appended_.size(); ++k) {
    if (appended_[k].name == name) return base_->blockCount() + k;
  }
  return std::nullopt;
}

StanzaId Document::appendStanza(std::string_view name) {
  // A blank line keeps the new stanza apart from whatever ends the file.
  const bool blank_before = !appended_.empty() || !lastLineIsBlankOrAbsent();
  appended_.push_back(NewStanza{std::string(name), formatHeaderLine(name), blank_before, {}});
  return base_->blockCount() + appended_.size() - 1;
}

// Whether the last line that would be written is blank, or there is none:
// an empty file wants no blank line before a new stanza either.
bool Document::lastLineIsBlankOrAbsent() const {
  for (std::uint32_t cursor = base_->size();;) {
    if (inserted_.contains(cursor)) return false;
    if (cursor == 0) return true;
    const std::uint32_t begin = base_->lineBefore(cursor);
    if (!isDeleted(begin)) return kindOfParsed(base_->lineText(base_->lineAt(begin))) == LineKind::Blank;
    cursor = begin;
  }
}

std::optional<Entry> Document::findEntry(StanzaId stanza, std::string_view name) const {
  const auto place = findPlace(stanza, name);
  if (!place) return std::nullopt;
  const std::string_view text = textAt(*place);
  const auto shape = entryShape(text);
  if (!shape) return std::nullopt;
  return Entry{std::string(shape->name), entryValue(text, *shape)};
}

bool Document::setEntry(StanzaId stanza, std::string_view name, std::optional<std::string_view> value) {
  const auto place = findPlace(stanza, name);
  if (!place) {
    insertEntryLine(stanza, formatEntryLine(name, value));
    return true;
  }
  const std::string_view text = textAt(*place);
  const auto shape = entryShape(text);
  if (shape && sameValue(entryValue(text, *shape), value)) return false;
  std::string line = shape ? rewriteEntryLine(text, *shape, value) : formatEntryLine(name, value);
  editableTextAt(*place) = std::move(line);
  return true;
}

bool Document::deleteEntry(StanzaId stanza, std::string_view name) {
  const auto place = findPlace(stanza, name);
  if (!place) return false;
  switch (place->kind) {
    case Place::Kind::Appended: {
      auto& lines = appended_[place->at].lines;
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(place->index));
      break;
    }
    case Place::Kind::Inserted: {
      auto& lines = inserted_[place->at];
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(place->index));
      if (lines.empty()) inserted_.erase(place->at);
      break;
    }
    case Place::Kind::Parsed:
      changed_[place->at] = std::nullopt;
      // A later duplicate becomes the first occurrence, as it would be when
      // the file is read again.
      promoted_[{stanza, std::string(name)}] = nextDuplicate(stanza, place->at, name);
      break;
  }
  return true;
}

std::optional<Document::Place> Document::findPlace(StanzaId stanza, std::string_view name) const {
  if (isAppended(stanza)) {
    const auto& lines = appended(stanza).lines;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (isEntryNamed(lines[i], name)) {
        return Place{Place::Kind::Appended, static_cast<std::uint32_t>(stanza - base_->blockCount()), i};
      }
    }
    return std::nullopt;
  }
  if (const auto parsed = findParsed(stanza, name)) return parsed;
  return findInserted(stanza, name);
}

std::optional<Document::Place> Document::findParsed(StanzaId stanza, std::string_view name) const {
  const auto promoted = promoted_.find({stanza, std::string(name)});
  std::optional<std::uint32_t> at = promoted != promoted_.end() ? promoted->second : base_->findEntry(stanza, name);
  if (!at) return std::nullopt;
  return Place{Place::Kind::Parsed, *at, 0};
}

// Added lines exist only while no line of the parsed text holds the name.
std::optional<Document::Place> Document::findInserted(StanzaId stanza, std::string_view name) const {
  const auto first = inserted_.lower_bound(base_->bodyBegin(stanza));
  const auto last = inserted_.upper_bound(base_->blockEnd(stanza));
  for (auto group = first; group != last; ++group) {
    for (std::size_t i = 0; i < group->second.size(); ++i) {
      if (isEntryNamed(group->second[i], name)) return Place{Place::Kind::Inserted, group->first, i};
    }
  }
  return std::nullopt;
}

std::string_view Document::textAt(const Place& place) const {
  switch (place.kind) {
    case Place::Kind::Appended: return appended_[place.at].lines[place.index];
    case Place::Kind::Inserted: return inserted_.at(place.at)[place.index];
    case Place::Kind::Parsed: break;
  }
  if (const auto changed = changed_.find(place.at); changed != changed_.end() && changed->second) {
    return *changed->second;
  }
  return base_->lineText(base_->lineAt(place.at));
}

std::string& Document::editableTextAt(const Place& place) {
  switch (place.kind) {
    case Place::Kind::Appended: return appended_[place.at].lines[place.index];
    case Place::Kind::Inserted: return inserted_[place.at][place.index];
    case Place::Kind::Parsed: break;
  }
  std::optional<std::string>& line = changed_[place.at];
  if (!line) line.emplace();
  return *line;
}

bool Document::isDeleted(std::uint32_t line_begin) const {
  const auto changed = changed_.find(line_begin);
  return changed != changed_.end() && !changed->second;
}

std::optional<std::uint32_t> Document::nextDuplicate(StanzaId stanza, std::uint32_t after,
                                                     std::string_view name) const {
  const std::uint32_t end = base_->blockEnd(stanza);
  for (std::uint32_t pos = base_->lineAt(after).next; pos < end; pos = base_->lineAt(pos).next) {
    if (!isDeleted(pos) && isEntryNamed(textAt(Place{Place::Kind::Parsed, pos, 0}), name)) return pos;
  }
  return std::nullopt;
}

void Document::insertEntryLine(StanzaId stanza, std::string line) {
  if (isAppended(stanza)) {
    appended(stanza).lines.push_back(std::move(line));
  } else {
    inserted_[insertionPoint(stanza)].push_back(std::move(line));
  }
}

// After the last live entry, so that comments and blank lines that lead
// into the next stanza stay where they are; directly after the header when
// the stanza has no entries.
std::uint32_t Document::insertionPoint(StanzaId stanza) const {
  const std::uint32_t body = base_->bodyBegin(stanza);
  for (std::uint32_t cursor = base_->blockEnd(stanza);;) {
    if (inserted_.contains(cursor) || cursor <= body) return std::max(cursor, body);
    const std::uint32_t begin = base_->lineBefore(cursor);
    if (!isDeleted(begin) && kindOfParsed(base_->lineText(base_->lineAt(begin))) == LineKind::Entry) return cursor;
    cursor = begin;
  }
}

}  // namespace stz
