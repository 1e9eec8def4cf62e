// Writing option values into the daemons' stanza configuration files.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "stanza_file.h"
#include "zarncfg_record.h"

// Makes sure the file exists (created empty when absent); never fails.
// The file opened for update, created first when absent; none with
// ZRNCF1305E when it cannot be opened.
std::unique_ptr<StanzaFile> zarncfg_create_stanza(const std::string& path, vd_msgid_t& status);
// Writes the edits back and releases the file.  False with ZRNCF1305E,
// printed and logged with the library's code, when the write-back failed;
// the file on disk is then as it was.
bool zarncfg_close_stanza(std::unique_ptr<StanzaFile> file, vd_msgid_t& status);
// Adds the set and removes the deleted options of the rows that belong to
// the path; 1 when every row was handled, 0 after a failed edit.
int zarncfg_update_stanza(const std::string& path, StanzaFile& file, const ConfigRecord& record,
                          std::span<const StanzaOptionMap> map, vd_msgid_t& status);
// 1 when the file was written; on failure nothing of it reaches the disk.
int zarncfg_build_config_file(const std::string& path, const ConfigRecord& record,
                              std::span<const StanzaOptionMap> map, vd_msgid_t& status);
// Sets one entry of one stanza of one file.
void zarncfg_set_config_state(const std::string& value, const std::string& path, const std::string& stanza,
                              const std::string& entry, vd_msgid_t& status);

void zarncfg_configure_brevik(const ConfigRecord& record, vd_msgid_t& status);
void zarncfg_configure_zarnauditd(const ConfigRecord& record, vd_msgid_t& status);
void zarncfg_configure_zarnwdd(const ConfigRecord& record, vd_msgid_t& status);
