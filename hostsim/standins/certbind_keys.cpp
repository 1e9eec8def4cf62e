// The key database holds settings only; no password is ever written in
// clear by the stand-in, the stash holds a salted SHA-512 crypt hash.
#include "certbind_keys.h"

#include <crypt.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <random>

#include "standin_common.h"

namespace {

constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789./";

std::string random_text(std::size_t length, std::string_view alphabet) {
  std::random_device device;
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += alphabet[pick(device)];
  return text;
}

std::string settings_text(const CertbindRecord& r) {
  return "name=" + r.name + "\nkeydir=" + r.key_dir + "\nconfig=" + r.config_file + "\nside=" + r.side +
         "\nport=" + r.port + "\ncacert=" + r.cacert + "\nlistening=" + r.listening + "\n";
}

std::string stash_text(const std::string& password) {
  auto data = std::make_unique<crypt_data>();
  const std::string salt = "$6$" + random_text(16, kAlphabet);
  const char* hash = crypt_r(password.c_str(), salt.c_str(), data.get());
  return std::string(hash != nullptr && hash[0] != '*' ? hash : "unavailable") + "\n";
}

std::string key_file(const CertbindRecord& r, const char* suffix) { return r.key_dir + "/" + r.name + suffix; }

}  // namespace

std::string certbind_random_password() { return random_text(20, kAlphabet.substr(0, 62)); }

std::string certbind_record_path(const std::string& name) {
  return std::string(STANDIN_RUN_DIR) + "/certbind." + name;
}

std::optional<CertbindRecord> certbind_read_record(const std::string& name) {
  std::ifstream in(certbind_record_path(name));
  if (!in) return std::nullopt;
  CertbindRecord r;
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "name") r.name = value;
    if (key == "keydir") r.key_dir = value;
    if (key == "config") r.config_file = value;
    if (key == "side") r.side = value;
    if (key == "port") r.port = value;
    if (key == "cacert") r.cacert = value;
    if (key == "listening") r.listening = value;
  }
  return r;
}

bool certbind_update_keys(const CertbindRecord& record) {
  const std::string settings = settings_text(record);
  return standin_write_file(certbind_record_path(record.name), settings, 0600) &&
         standin_write_file(key_file(record, ".kdb"), settings, 0600);
}

bool certbind_write_keys(const CertbindRecord& record, const std::optional<std::string>& keystore_pwd) {
  return certbind_update_keys(record) &&
         standin_write_file(key_file(record, ".sth"), stash_text(keystore_pwd.value_or("")), 0600);
}

void certbind_remove_keys(const CertbindRecord& record) {
  unlink(key_file(record, ".kdb").c_str());
  unlink(key_file(record, ".sth").c_str());
  unlink(certbind_record_path(record.name).c_str());
}
