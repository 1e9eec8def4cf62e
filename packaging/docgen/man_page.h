// Manual pages: a hand-written page source whose generated section (the
// options of zarncfg, the commands of kxadmin, the JSON keys of zarnctl) is
// made from the program's own tables at build time.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace docgen {

// One tagged paragraph of a generated section: its heading line and the
// sentences below it, both plain text.
struct ManEntry {
  std::string heading;  // already in roff (fonts set), one line
  std::vector<std::string> sentences;
};

// Plain text as roff: backslashes and hyphens escaped, and a leading "." or
// "'" kept from being read as a request.
std::string roff_escape(std::string_view text);

// The entries as ".TP" paragraphs.
std::string render_entries(const std::vector<ManEntry>& entries);

// The line "@GENERATED@" of the page source replaced by `generated`; throws
// std::invalid_argument when the source has no such line.
std::string fill_template(std::string_view page_source, std::string_view generated);

// The pages whose sections are generated.  A new program's page is one more
// row here and one more source file in docs/man.
struct ManPage {
  std::string_view name;  // "zarncfg"
  std::vector<ManEntry> (*entries)();
};
std::span<const ManPage> man_pages();

std::vector<ManEntry> zarncfg_option_entries();
std::vector<ManEntry> kxadmin_command_entries();
std::vector<ManEntry> zarnctl_status_key_entries();

}  // namespace docgen
