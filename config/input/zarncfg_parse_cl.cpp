// Third input pass: the command line overrides the response file and the
// current configuration; the -delete list is applied after everything else
// has been read.
#include "zarncfg_parse_cl.h"

#include <algorithm>
#include <optional>

#include "zarncfg_svc.h"

namespace {

void fail(const Msg& m, std::string_view insert, vd_msgid_t& status) {
  print_and_log_error(m, insert);
  status = m.id;
}

bool is_value_word(std::span<const std::string> args, std::size_t position) {
  return position < args.size() && !args[position].starts_with('-');
}

// Stores the option named at args[position]; returns the position of the
// word after it and its value.
std::size_t store_option(std::span<const std::string> args, std::size_t position,
                         std::span<const ConfigOptionDef> options, ConfigRecord& record, vd_msgid_t& status) {
  const std::string& word = args[position];
  const int row = zarncfg_find_option_row(word, options);
  if (row < 0) {
    fail(msg_id(1336), word, status);
    return position;
  }
  const ConfigOptionDef& option = options[static_cast<std::size_t>(row)];
  ConfigEntry& entry = record[static_cast<std::size_t>(option.index)];
  std::optional<std::string> value;
  if (option.flags & OPT_VALUE_REQUIRED) {
    if (!is_value_word(args, position + 1)) {
      fail(msg_id(1332), option.name, status);
      return position;
    }
    value = args[position + 1];
  }
  if (entry.has(CFG_CMDLINE)) {
    fail(msg_id(1333), option.name, status);
    return position;
  }
  if (value && zarncfg_changes_configured_value(option.index, entry, *value)) {
    fail(msg_id(1317), option.name, status);
    return position;
  }
  entry.flags |= CFG_CMDLINE;
  entry.value = std::move(value);
  return position + (entry.value ? 2 : 1);
}

// Internal entries beyond the option count keep what the first pass gave
// them.
void recompute_summary_flags(ConfigRecord& record, std::size_t option_count) {
  const std::size_t count = std::min(option_count, record.size());
  for (std::size_t index = 0; index < count; ++index) {
    ConfigEntry& entry = record[index];
    entry.flags &= ~(CFG_SET | CFG_HAS_VALUE);
    if (entry.has(CFG_CMDLINE | CFG_RSPFILE | CFG_DEFAULT)) entry.flags |= CFG_SET;
    if (entry.has(CFG_SET | CFG_CURRENT)) entry.flags |= CFG_HAS_VALUE;
  }
}

}  // namespace

void zarncfg_parse_the_command_line(std::span<const std::string> args, ConfigRecord& record,
                                    std::span<const ConfigOptionDef> options, int delete_index,
                                    std::span<const std::string_view> delete_items, std::span<const int> required,
                                    vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_parse_the_command_line");
  zarncfg_log_command_line(args, status);
  if (status != 0) return;
  zarncfg_parse_command_line(args, options, record, status);
  if (status != 0 || delete_index == -1) return;
  const ConfigEntry& delete_entry = record[static_cast<std::size_t>(delete_index)];
  if (!delete_entry.has(CFG_SET)) return;
  trace(msg_id(360));
  // A copy: deleting rewrites the flags of the very entries the list names.
  const std::string delete_list = delete_entry.text();
  zarncfg_delete_cl_options(delete_list, options, record, delete_items, required, status);
}

void zarncfg_parse_command_line(std::span<const std::string> args, std::span<const ConfigOptionDef> options,
                                ConfigRecord& record, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_parse_command_line");
  status = 0;
  std::size_t position = 1;
  while (position < args.size()) {
    position = store_option(args, position, options, record, status);
    if (status != 0) return;
  }
  recompute_summary_flags(record, options.size());
}
