// The daemons' stanza files: every option to be applied is added to its
// file, every deleted one removed; options that carry neither mark keep
// whatever entry the file already has.
#include "zarncfg_config_stanza.h"

#include <fcntl.h>
#include <unistd.h>

#include <string_view>

#include "zarncfg_file_writes.h"
#include "zarncfg_host_path.h"
#include "zarncfg_svc.h"

std::unique_ptr<StanzaFile> zarncfg_create_stanza(const std::string& path, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_create_stanza");
  auto file = current_file_writes().open_stanza(zarncfg_host_path(path), status);
  if (!file || status != 0) {
    print_and_log_error(msg_id(1305), status);
    status = msg_id(1305);
    return nullptr;
  }
  return file;
}

bool zarncfg_close_stanza(std::unique_ptr<StanzaFile> file, vd_msgid_t& status) {
  const int code = current_file_writes().close_stanza(std::move(file));
  if (code == 0) return true;
  // The library keeps the file as it was; its text says why.
  log_free_text(stzErrorText(static_cast<vd_status_t>(code)));
  print_and_log_error(msg_id(1305), code);
  status = msg_id(1305);
  return false;
}

namespace {

bool row_belongs_to(const StanzaOptionMap& row, const std::string& path) {
  return row.file != nullptr && std::string_view(row.file) == path;
}

bool delete_row_entry(const StanzaOptionMap& row, const std::string& path, StanzaFile& file, vd_msgid_t& status) {
  trace(msg_id(332), row.entry, path);
  if (stzMoveEntry(file, row.stanza, row.entry) == 0) {
    trace(msg_id(334), row.entry);
    return true;
  }
  stzDeleteEntry(file, row.stanza, row.entry);
  if (file.error != 0) {
    status = msg_id(1307);
    print_and_log_error(msg_id(1307), row.entry, path);
    return false;
  }
  trace(msg_id(333), row.entry);
  return true;
}

// Adds the value, under its stanza, to the file; shared with the single
// state entry, which is written the same way.
bool add_entry(StanzaFile& file, const std::string& path, std::string_view stanza, std::string_view entry,
               const std::optional<std::string>& value, vd_msgid_t& status) {
  trace(msg_id(330), stanza, path);
  stzAddStanza(file, stanza);
  if (file.error != 0) {
    status = msg_id(1306);
    print_and_log_error(msg_id(1306), stanza, path);
    return false;
  }
  trace(msg_id(331), value.value_or(""), path);
  stzAddEntry(file, entry, value ? std::optional<std::string_view>(*value) : std::nullopt);
  if (file.error != 0) {
    status = msg_id(1310);
    print_and_log_error(msg_id(1310), entry, stanza, path);
    return false;
  }
  return true;
}

}  // namespace

int zarncfg_update_stanza(const std::string& path, StanzaFile& file, const ConfigRecord& record,
                          std::span<const StanzaOptionMap> map, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_update_stanza");
  for (const StanzaOptionMap& row : map) {
    if (!row_belongs_to(row, path)) continue;
    const ConfigEntry& option = record[static_cast<std::size_t>(row.index)];
    if (option.has(CFG_DELETED)) {
      if (!delete_row_entry(row, path, file, status)) return 0;
    } else if (option.has(CFG_SET)) {
      if (!add_entry(file, path, row.stanza, row.entry, option.value, status)) return 0;
    }
  }
  return 1;
}

int zarncfg_build_config_file(const std::string& path, const ConfigRecord& record,
                              std::span<const StanzaOptionMap> map, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_build_config_file");
  auto file = zarncfg_create_stanza(path, status);
  if (!file) return 0;
  zarncfg_update_stanza(path, *file, record, map, status);
  // Dropping the handle unclosed discards the edits, so a failed file stays
  // as it was.
  if (status != 0) return 0;
  return zarncfg_close_stanza(std::move(file), status) ? 1 : 0;
}

void zarncfg_set_config_state(const std::string& value, const std::string& path, const std::string& stanza,
                              const std::string& entry, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_set_config_state");
  status = 0;
  auto file = zarncfg_create_stanza(path, status);
  if (!file) return;
  if (!add_entry(*file, path, stanza, entry, value, status)) return;
  zarncfg_close_stanza(std::move(file), status);
}

void zarncfg_configure_brevik(const ConfigRecord& record, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_configure_brevik");
  zarncfg_build_config_file(BREVIK_CONF, record, config_stanza_option_map, status);
}

void zarncfg_configure_zarnauditd(const ConfigRecord& record, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_configure_zarnauditd");
  print_and_trace(msg_id(317));
  zarncfg_build_config_file(ZARNAUDITD_CONF, record, config_stanza_option_map, status);
}

void zarncfg_configure_zarnwdd(const ConfigRecord& record, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_configure_zarnwdd");
  print_and_trace(msg_id(320));
  zarncfg_build_config_file(ZARNWDD_CONF, record, config_stanza_option_map, status);
}
