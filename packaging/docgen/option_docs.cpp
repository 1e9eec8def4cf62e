#include "option_docs.h"

#include <algorithm>

#include "catalog_text.h"
#include "usage_arguments.h"
#include "zarncfg_record.h"
#include "zarncfg_sniff.h"

namespace docgen {
namespace {

constexpr unsigned kUsageMessage = 141;

const MinMaxRequirement* requirement_of(int index) {
  for (const MinMaxRequirement& row : zarndconf_min_max_requirements) {
    if (row.index() == index) return &row;
  }
  return nullptr;
}

const StanzaOptionMap* stanza_row_of(int index) {
  for (const StanzaOptionMap& row : config_stanza_option_map) {
    if (row.index == index) return &row;
  }
  return nullptr;
}

std::string joined(const std::vector<std::string>& words, const std::string& separator) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : separator) + word;
  return text;
}

std::vector<std::string> set_members(const MinMaxRequirement& row) {
  std::vector<std::string> members;
  for (int i = 0; i < row.maximum; ++i) members.emplace_back(row.value_set[i]);
  return members;
}

// The rule of the option's requirement row, in words; fills the completion
// words of on/off and list options.
void describe_requirement(const MinMaxRequirement& row, OptionDoc& doc) {
  switch (row.kind()) {
    case REQ_INT_RANGE:
      doc.facts.push_back("A whole number from " + std::to_string(row.minimum) + " to " + std::to_string(row.maximum) +
                          ", written as plain digits.");
      break;
    case REQ_MAX_LENGTH:
      doc.facts.push_back("At most " + std::to_string(row.maximum) + " characters.");
      break;
    case REQ_ON_OFF:
      doc.words = {"on", "off"};
      doc.facts.push_back("on or off (see ON/OFF VALUES); stored as on or off.");
      break;
    case REQ_MEMBER_OF_SET:
      doc.words = set_members(row);
      doc.word_list = true;
      doc.facts.push_back("A comma-separated list, without blanks, of: " + joined(doc.words, ", ") + ".");
      break;
    case REQ_PASSWORD:
      doc.facts.push_back("Asked for at the terminal, with echo off, when it is needed and not given.");
      break;
    case REQ_FILE:
      doc.file = true;
      doc.facts.push_back(
          "The name of a readable file; a relative name is also tried in the directory "
          "zarncfg was started from.");
      break;
    case REQ_POSITIVE_NUMBER:
      doc.facts.push_back("A positive whole number without a leading zero; blanks around it are removed.");
      break;
    default:
      break;
  }
}

void describe_storage(int index, OptionDoc& doc) {
  const StanzaOptionMap* row = stanza_row_of(index);
  if (row == nullptr) {
    doc.facts.push_back("Command line only.");
    return;
  }
  const std::string where = std::string("stanza ") + row->stanza + ", entry " + row->entry;
  if (row->file == nullptr) {
    doc.facts.push_back("Response file: " + where + ". Never written to a configuration file.");
  } else {
    doc.facts.push_back("Response file and configuration: " + where + " of " + row->file + ".");
  }
}

// The usage text's name for the value; on/off and list values are shown by
// their words instead.
std::string placeholder_of(const UsageArgument* usage, const OptionDoc& doc) {
  if (usage != nullptr && !usage->placeholder.empty()) return usage->placeholder;
  if (doc.word_list) return "item[,item...]";
  if (!doc.words.empty()) return joined(doc.words, "|");
  return "value";
}

std::string shortest_form(const ConfigOptionDef& def) {
  return std::string(def.name).substr(0, def.flags & OPT_MIN_ABBREV_MASK);
}

bool is_required(int index) {
  return std::find(zarncfg_required_options.begin(), zarncfg_required_options.end(), index) !=
         zarncfg_required_options.end();
}

bool is_deletable(const ConfigOptionDef& def) {
  return std::find(ZARND_DELETE_ITEMS.begin(), ZARND_DELETE_ITEMS.end(), bare_option_name(def)) !=
         ZARND_DELETE_ITEMS.end();
}

void describe_properties(const ConfigOptionDef& def, const ConfigRecord& defaults, OptionDoc& doc) {
  const ConfigEntry& entry = defaults[static_cast<std::size_t>(def.index)];
  if (entry.has(CFG_DEFAULT)) doc.facts.push_back("Default: " + entry.text() + ".");
  if (is_required(def.index)) {
    doc.facts.push_back("Required on a first configuration; a reconfiguration cannot change it.");
  }
  if (is_deletable(def)) doc.facts.push_back("-delete can remove it.");
}

OptionDoc document(const ConfigOptionDef& def, const UsageArgument* usage, const ConfigRecord& defaults) {
  OptionDoc doc;
  doc.name = def.name;
  doc.shortest = shortest_form(def);
  doc.summary = one_line(catalog_text(def.help - ZARNCFG_MSG_BASE));
  if (!doc.summary.empty() && doc.summary.back() != '.') doc.summary += '.';
  if ((def.flags & OPT_VALUE_REQUIRED) == 0) {
    doc.facts.push_back("Asks for information: prints it and ends the run without configuring anything.");
    return doc;
  }
  const MinMaxRequirement* row = requirement_of(def.index);
  if (row != nullptr) describe_requirement(*row, doc);
  if (doc.words.empty() && usage != nullptr && !usage->choices.empty()) {
    doc.words = usage->choices;
    doc.facts.push_back("One of: " + joined(doc.words, ", ") + " (exactly so, in lower case).");
  }
  doc.placeholder = placeholder_of(usage, doc);
  if (def.index == IDX_RSPFILE) doc.file = true;
  if (row == nullptr && doc.words.empty() && !doc.file) doc.facts.push_back("zarncfg does not check the value.");
  describe_storage(def.index, doc);
  describe_properties(def, defaults, doc);
  return doc;
}

}  // namespace

std::vector<OptionDoc> zarncfg_option_docs() {
  const auto usage = usage_arguments(catalog_text(kUsageMessage));
  ConfigRecord defaults{};
  zarncfg_fill_defaults(defaults);
  std::vector<OptionDoc> docs;
  for (const ConfigOptionDef& def : config_option_def) {
    const auto found = usage.find(std::string_view(def.name));
    docs.push_back(document(def, found == usage.end() ? nullptr : &found->second, defaults));
  }
  return docs;
}

}  // namespace docgen
