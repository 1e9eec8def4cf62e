#include "kx_password.h"

#include <crypt.h>

#include <cstdlib>
#include <memory>

namespace kx {
namespace {

bool has_nul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

// crypt_data is tens of kilobytes: keep it off the stack.
std::optional<std::string> crypt_with(std::string_view password, const char* setting) {
  auto data = std::make_unique<crypt_data>();
  const std::string clear(password);
  const char* hash = crypt_rn(clear.c_str(), setting, data.get(), sizeof(crypt_data));
  // crypt_rn returns null or a "*"-led marker for a bad setting.
  if (hash == nullptr || hash[0] == '*') return std::nullopt;
  return std::string(hash);
}

}  // namespace

std::optional<std::string> hash_password(std::string_view password) {
  if (has_nul(password)) return std::nullopt;
  // A null prefix asks for the preferred method; a null random source makes
  // libcrypt read the system's entropy itself.
  const std::unique_ptr<char, decltype(&std::free)> setting(crypt_gensalt_ra(nullptr, 0, nullptr, 0), &std::free);
  if (!setting) return std::nullopt;
  return crypt_with(password, setting.get());
}

bool password_matches(std::string_view password, const std::string& stored_hash) {
  if (has_nul(password) || stored_hash.empty()) return false;
  const std::optional<std::string> hash = crypt_with(password, stored_hash.c_str());
  if (!hash || hash->size() != stored_hash.size()) return false;
  // Compare every byte, so the time taken does not tell how much matched.
  unsigned char diff = 0;
  for (std::size_t i = 0; i < hash->size(); ++i) {
    diff |= static_cast<unsigned char>((*hash)[i] ^ stored_hash[i]);
  }
  return diff == 0;
}

}  // namespace kx
