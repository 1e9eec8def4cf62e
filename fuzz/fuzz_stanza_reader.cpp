// The stanza file reader and its edits.  A file that reads must write back
// byte for byte, and after edits the written text must read again and show
// exactly what the edited document showed: that is what lets the program
// rewrite a configuration file without disturbing what it did not touch.
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "fuzz_support.h"
#include "stanza_document.h"
#include "stanza_syntax.h"

namespace {

// Names and values for the edits, taken from the input's own lines so that
// the fuzzer steers them: existing names, near misses and odd bytes.
struct Candidates {
  std::vector<std::string> stanzas;
  std::vector<std::string> entries;
  std::vector<std::string> values;
};

Candidates candidates_of(std::string_view bytes) {
  constexpr std::size_t kMaxLines = 64;
  Candidates c{{"ssl"}, {"state"}, {""}};
  const auto lines = fuzz::split(bytes, '\n');
  for (std::size_t i = 0; i < lines.size() && i < kMaxLines; ++i) {
    c.values.push_back(lines[i]);
    auto parsed = stz::parseLine(lines[i]);
    auto* line = std::get_if<stz::ParsedLine>(&parsed);
    if (line == nullptr) continue;
    if (line->kind == stz::LineKind::Header) c.stanzas.push_back(line->name);
    if (line->kind == stz::LineKind::Entry) {
      c.entries.push_back(line->name);
      if (line->value) c.values.push_back(*line->value);
    }
  }
  return c;
}

struct Key {
  std::string stanza;
  std::string entry;
};

std::optional<stz::Entry> lookup(const stz::Document& doc, const Key& key) {
  const auto stanza = doc.findStanza(key.stanza);
  if (!stanza) return std::nullopt;
  return doc.findEntry(*stanza, key.entry);
}

bool same(const std::optional<stz::Entry>& a, const std::optional<stz::Entry>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || (a->name == b->name && a->value == b->value);
}

stz::StanzaId stanza_for_edit(stz::Document& doc, const std::string& name) {
  const auto found = doc.findStanza(name);
  return found ? *found : doc.appendStanza(name);
}

// One edit as a writer would make it, refusing what the library refuses.
void edit(stz::Document& doc, std::size_t step, const Candidates& c, std::vector<Key>& touched) {
  const Key key{c.stanzas[step % c.stanzas.size()], c.entries[(step / 2) % c.entries.size()]};
  if (!stz::isWritableStanzaName(key.stanza) || !stz::isWritableEntryName(key.entry)) return;
  const std::string& value = c.values[step % c.values.size()];
  touched.push_back(key);
  switch ((step + value.size()) % 3) {
    case 0: {
      if (!stz::isWritableValue(value)) return;
      const stz::StanzaId id = stanza_for_edit(doc, key.stanza);
      doc.setEntry(id, key.entry, value);
      const auto now = doc.findEntry(id, key.entry);
      if (!now || now->value != value) fuzz::fail("a value set is not the value found");
      break;
    }
    case 1: {
      const stz::StanzaId id = stanza_for_edit(doc, key.stanza);
      doc.setEntry(id, key.entry, std::nullopt);
      const auto now = doc.findEntry(id, key.entry);
      if (!now || now->value) fuzz::fail("an entry set without value has one");
      break;
    }
    default:
      if (const auto id = doc.findStanza(key.stanza)) doc.deleteEntry(*id, key.entry);
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzz::as_text(data, size);
  auto parsed = stz::Document::parse(bytes);
  auto* doc = std::get_if<stz::Document>(&parsed);
  if (doc == nullptr) return 0;
  if (doc->serialize() != bytes) fuzz::fail("an unedited document does not write back byte for byte");

  const Candidates c = candidates_of(bytes);
  std::vector<Key> touched;
  for (std::size_t step = 0; step < 12; ++step) edit(*doc, step, c, touched);

  const std::string written = doc->serialize();
  auto reread = stz::Document::parse(written);
  auto* again = std::get_if<stz::Document>(&reread);
  if (again == nullptr) fuzz::fail("an edited document does not read back");
  for (const Key& key : touched) {
    if (!same(lookup(*doc, key), lookup(*again, key))) fuzz::fail("a fresh read finds another entry than the edit left");
  }
  if (again->serialize() != written) fuzz::fail("a written document does not write back byte for byte");
  return 0;
}
