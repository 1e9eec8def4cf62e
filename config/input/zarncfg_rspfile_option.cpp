// Finding the -rspfile option and its file name on the command line, before
// the command line itself is parsed.
#include "zarncfg_option_match.h"
#include "zarncfg_parse_rspfile.h"
#include "zarncfg_report.h"

int zarncfg_get_idx(std::span<const ConfigOptionDef> options, int option_index) {
  FunctionTrace scope("zarncfg_get_idx");
  for (std::size_t row = 0; row < options.size(); ++row) {
    if (options[row].index == option_index) return static_cast<int>(row);
  }
  return -1;
}

int zarncfg_get_rspfile(std::span<const std::string> args, int row, std::string& file_name,
                        std::span<const ConfigOptionDef> options) {
  FunctionTrace scope("zarncfg_get_rspfile");
  if (row < 0 || static_cast<std::size_t>(row) >= options.size()) return 0;
  const ConfigOptionDef& option = options[static_cast<std::size_t>(row)];
  for (std::size_t position = 1; position < args.size(); ++position) {
    if (!zarncfg_word_names_option(args[position], option)) continue;
    if (position + 1 >= args.size() || args[position + 1].starts_with('-')) return -1;
    file_name = args[position + 1];
    return 1;
  }
  return 0;
}
