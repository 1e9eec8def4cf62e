#include "man_page.h"

#include <array>
#include <stdexcept>

#include "option_docs.h"
#include "tool_usage.h"
#include "zarnctl_status_keys.h"

namespace docgen {
namespace {

constexpr std::string_view kGeneratedLine = "@GENERATED@";

const std::array<ManPage, 3> kPages = {{
    {"zarncfg", zarncfg_option_entries},
    {"kxadmin", kxadmin_command_entries},
    {"zarnctl", zarnctl_status_key_entries},
}};

std::string bold(std::string_view text) { return "\\fB" + roff_escape(text) + "\\fR"; }
std::string italic(std::string_view text) { return "\\fI" + roff_escape(text) + "\\fR"; }

}  // namespace

std::string roff_escape(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '\\') {
      escaped += "\\e";
    } else if (c == '-') {
      escaped += "\\-";
    } else {
      escaped += c;
    }
  }
  if (!escaped.empty() && (escaped.front() == '.' || escaped.front() == '\'')) escaped.insert(0, "\\&");
  return escaped;
}

std::string render_entries(const std::vector<ManEntry>& entries) {
  std::string roff;
  for (const ManEntry& entry : entries) {
    roff += ".TP\n" + entry.heading + "\n";
    for (const std::string& sentence : entry.sentences) roff += roff_escape(sentence) + "\n";
  }
  return roff;
}

std::string fill_template(std::string_view page_source, std::string_view generated) {
  const std::size_t at = page_source.find(std::string(kGeneratedLine) + "\n");
  if (at == std::string_view::npos || (at > 0 && page_source[at - 1] != '\n')) {
    throw std::invalid_argument("the page source has no line " + std::string(kGeneratedLine));
  }
  return std::string(page_source.substr(0, at)) + std::string(generated) +
         std::string(page_source.substr(at + kGeneratedLine.size() + 1));
}

std::span<const ManPage> man_pages() { return kPages; }

std::vector<ManEntry> zarncfg_option_entries() {
  std::vector<ManEntry> entries;
  for (const OptionDoc& doc : zarncfg_option_docs()) {
    ManEntry entry;
    entry.heading = bold(doc.name);
    if (!doc.placeholder.empty()) entry.heading += " " + italic(doc.placeholder);
    entry.sentences.push_back(doc.summary);
    if (doc.shortest != doc.name) entry.sentences.push_back("Shortest form: " + doc.shortest + ".");
    entry.sentences.insert(entry.sentences.end(), doc.facts.begin(), doc.facts.end());
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<ManEntry> kxadmin_command_entries() {
  std::vector<ManEntry> entries;
  for (const kxtool::CommandForm& command : kxtool::kCommandForms) {
    entries.push_back({bold(command.form), {std::string(command.does)}});
  }
  return entries;
}

std::vector<ManEntry> zarnctl_status_key_entries() {
  std::vector<ManEntry> entries;
  for (const StatusKey& row : kStatusKeys) entries.push_back({bold(row.key), {std::string(row.holds)}});
  return entries;
}

}  // namespace docgen
