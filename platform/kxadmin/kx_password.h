// Salted password hashes through libcrypt.  The store never keeps a password
// in clear text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kx {

// A fresh hash of the password with the library's preferred method and a
// random salt; none when libcrypt refuses (no entropy, or a NUL in the
// password, which C strings cannot carry).
std::optional<std::string> hash_password(std::string_view password);

// True when the password hashes to the stored hash.
bool password_matches(std::string_view password, const std::string& stored_hash);

}  // namespace kx
