// Second input pass: values from the response file named with -rspfile
// replace those of the current configuration.
#include "zarncfg_parse_rspfile.h"

#include <memory>

#include "stanza_file.h"
#include "zarncfg_svc.h"

namespace {

bool opened(const std::unique_ptr<StanzaFile>& file, vd_status_t status) { return file != nullptr && status == 0; }

// The program has changed to its working directory by now, so a relative
// name that does not open as it stands is tried against the directory the
// user started from.  On failure the status keeps the library's code.
std::unique_ptr<StanzaFile> open_response_file(const std::string& typed_name, const std::string& start_directory,
                                               vd_msgid_t& status) {
  status = 0;
  auto file = stzFileOpen(typed_name, STZ_MODE_UPDATE, status);
  if (opened(file, status)) return file;
  status = 0;
  file = stzFileOpen(start_directory + "/" + typed_name, STZ_MODE_UPDATE, status);
  if (opened(file, status)) return file;
  print_and_log_error(msg_id(1340), typed_name);
  if (status == 0) status = msg_id(1340);
  return nullptr;
}

void read_response_values(StanzaFile& file, ConfigRecord& record, std::span<const StanzaOptionMap> map,
                          vd_msgid_t& status) {
  for (const auto& row : map) {
    if (stzMoveEntry(file, row.stanza, row.entry) == 0) continue;
    ConfigEntry& entry = record[static_cast<std::size_t>(row.index)];
    std::string value = file.value.value_or("");
    if (entry.has(CFG_RSPFILE)) {
      print_and_log_error(msg_id(1333), file.name.value_or(row.entry));
      status = msg_id(1333);
      return;
    }
    if (zarncfg_changes_configured_value(row.index, entry, value)) {
      print_and_log_error(msg_id(1317), row.entry);
      status = msg_id(1317);
      return;
    }
    if (entry.has(CFG_DELETED)) {
      trace(msg_id(345), row.entry);
      continue;
    }
    entry.flags |= CFG_RSPFILE;
    entry.value = std::move(value);
  }
}

}  // namespace

// Finding the -rspfile option and its file name on the command line, before
// the command line itself is parsed.

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

void zarncfg_config_parse_rspfile(std::span<const std::string> args, std::span<const ConfigOptionDef> options,
                                  ConfigRecord& record, std::span<const StanzaOptionMap> map, int rspfile_index,
                                  const std::string& start_directory, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_config_parse_rspfile");
  status = 0;
  std::string file_name;
  const int row = zarncfg_get_idx(options, rspfile_index);
  if (row < 0) {
    print_and_log_error(msg_id(1326));
    status = msg_id(1326);
    return;
  }
  const int given = zarncfg_get_rspfile(args, row, file_name, options);
  if (given == 0) return;
  if (given < 0) {
    print_and_log_error(msg_id(1332), options[static_cast<std::size_t>(row)].name);
    status = msg_id(1332);
    return;
  }
  print_and_trace(msg_id(312));
  auto file = open_response_file(file_name, start_directory, status);
  if (!file) return;
  read_response_values(*file, record, map, status);
  // Nothing was changed, so closing leaves the user's file as it was.
  stzFileClose(std::move(file));
}
