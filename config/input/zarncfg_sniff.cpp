// First input pass: the program's defaults, then every value the product's
// configuration files already hold, so that a reconfiguration starts from
// what is installed.
#include "zarncfg_sniff.h"

#include <unistd.h>

#include <memory>
#include <string>

#include "stanza_file.h"
#include "zarncfg_svc.h"

namespace {

// Each stanza entry lives in one file; finding it in a second one means the
// files disagree about where it belongs.
void read_one_file(StanzaFile& file, bool may_repeat, ConfigRecord& record, std::span<const StanzaOptionMap> map,
                   vd_msgid_t& status) {
  for (const auto& row : map) {
    if (stzMoveEntry(file, row.stanza, row.entry) == 0) continue;
    ConfigEntry& entry = record[static_cast<std::size_t>(row.index)];
    if (!may_repeat && entry.has(CFG_CURRENT)) {
      print_and_log_error(msg_id(1333), file.name.value_or(row.entry));
      status = msg_id(1333);
      return;
    }
    entry.flags |= CFG_CURRENT;
    entry.value = file.value.value_or("");
  }
}

// A first configuration finds none of the files; an unreadable or
// unopenable one is skipped the same way.
std::unique_ptr<StanzaFile> open_current_file(const char* path) {
  if (access(path, R_OK) != 0) {
    trace(msg_id(305), path);
    return nullptr;
  }
  vd_status_t open_status = 0;
  auto file = stzFileOpen(path, STZ_MODE_READ, open_status);
  if (!file || open_status != 0) return nullptr;
  return file;
}

}  // namespace

void zarncfg_read_current_files(std::span<const char* const> files, std::string_view repeatable_file,
                                ConfigRecord& record, std::span<const StanzaOptionMap> map, vd_msgid_t& status) {
  status = 0;
  for (const char* path : files) {
    trace(msg_id(344), path);
    auto file = open_current_file(path);
    if (!file) continue;
    read_one_file(*file, repeatable_file == path, record, map, status);
    stzFileClose(std::move(file));
    if (status != 0) return;
  }
}

void zarncfg_read_cfg_files(std::span<const ConfigOptionDef> /*options*/, int /*entry_count*/, ConfigRecord& record,
                            std::span<const StanzaOptionMap> map, std::string_view tool_name, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_read_cfg_files");
  if (tool_name == "zarncfg") zarncfg_fill_defaults(record);
  zarncfg_read_current_files(ZARNCFG_SNIFF_FILES, ZARNLRD_CONF, record, map, status);
}
