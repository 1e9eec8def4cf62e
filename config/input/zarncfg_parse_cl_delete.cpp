// The -delete list: options whose values are removed from the daemons'
// configuration files.
#include "zarncfg_parse_cl.h"

#include <algorithm>

#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

namespace {

bool is_deletable(const std::string& item, std::span<const std::string_view> delete_items) {
  return std::find(delete_items.begin(), delete_items.end(), item) != delete_items.end();
}

const ConfigOptionDef* option_named(std::string_view bare_name, std::span<const ConfigOptionDef> options) {
  for (const auto& option : options) {
    if (bare_option_name(option) == bare_name) return &option;
  }
  return nullptr;
}

bool names_required_option(const std::string& item, std::span<const ConfigOptionDef> options,
                           std::span<const int> required) {
  for (const auto& option : options) {
    const bool is_required = std::find(required.begin(), required.end(), option.index) != required.end();
    if (is_required && bare_option_name(option) == item) return true;
  }
  return false;
}

void refuse_deletion(const std::string& item, std::span<const ConfigOptionDef> options,
                     std::span<const int> required, vd_msgid_t& status) {
  status = names_required_option(item, options, required) ? msg_id(1308) : msg_id(1309);
  // 1309 has no line end of its own.
  vd_printf(status, item);
  vd_printf(msg_id(13));
  log_error(status, item);
  log_notice(msg_id(13));
}

void mark_deleted(ConfigEntry& entry) {
  entry.flags &= ~(CFG_SET | CFG_CMDLINE | CFG_HAS_VALUE | CFG_CURRENT | CFG_RSPFILE);
  entry.flags |= CFG_DELETED;
}

}  // namespace

void zarncfg_delete_cl_options(const std::string& delete_list, std::span<const ConfigOptionDef> options,
                               ConfigRecord& record, std::span<const std::string_view> delete_items,
                               std::span<const int> required, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_delete_cl_options");
  status = 0;
  int count = 0;
  auto items = zarncfg_strg_parser(delete_list, count, ',');
  if (!items || count == 0) {
    vd_printf(msg_id(1341));
    print_and_log_error(msg_id(1361));
    status = msg_id(1341);
    return;
  }
  for (std::string& item : *items) {
    zarncfg_trim(item);
    if (!is_deletable(item, delete_items)) {
      refuse_deletion(item, options, required, status);
      return;
    }
    std::string lowered = item;
    const ConfigOptionDef* option = option_named(zarncfg_strlwr(lowered), options);
    if (option == nullptr) {
      // A deletable name without an option row: the tables disagree.
      print_and_log_error(msg_id(1361));
      status = msg_id(1361);
      return;
    }
    trace(msg_id(353), item);
    mark_deleted(record[static_cast<std::size_t>(option->index)]);
  }
}
