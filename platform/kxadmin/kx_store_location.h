// Where the policy store lives on a host.
#pragma once

#include <string>
#include <string_view>

namespace kx {

inline constexpr std::string_view VD_CONF_PATH = "/opt/Varden/etc/vd.conf";
inline constexpr std::string_view DEFAULT_STORE_PATH = "/var/Varden/policy.db";

// Entry "store" of stanza "kxadmin" in the Varden runtime configuration
// file; DEFAULT_STORE_PATH when the file, the stanza or the entry is
// missing or the entry has no value.
std::string configured_store_path(const std::string& vd_conf = std::string(VD_CONF_PATH));

}  // namespace kx
