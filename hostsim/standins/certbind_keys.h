// What the certbind stand-in keeps per registered daemon: the key database
// and stash in the key directory, and a record in /var/zarn/run.
#pragma once

#include <optional>
#include <string>

struct CertbindRecord {
  std::string name;
  std::string key_dir;
  std::string config_file;
  std::string side;
  std::string port;
  std::string cacert;
  std::string listening;
};

std::string certbind_record_path(const std::string& name);
std::optional<CertbindRecord> certbind_read_record(const std::string& name);
// Writes the record, <key_dir>/<name>.kdb (the same settings, mode 0600) and
// <key_dir>/<name>.sth (a salted hash of the key store password, mode 0600).
bool certbind_write_keys(const CertbindRecord& record, const std::optional<std::string>& keystore_pwd);
// Rewrites the record and the key database after a change of settings.
bool certbind_update_keys(const CertbindRecord& record);
void certbind_remove_keys(const CertbindRecord& record);
// 20 random characters.
std::string certbind_random_password();
