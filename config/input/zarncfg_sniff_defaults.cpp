// The program's defaults: what a first configuration writes when neither
// the response file nor the command line gives a value.
#include "zarncfg_sniff.h"

#include <array>
#include <string>

#include "zarncfg_svc.h"

namespace {

constexpr int kDefaultSslListeningPort = 7134;

struct TextDefault {
  int index;
  const char* value;
};

constexpr std::array<TextDefault, 5> kTextDefaults = {{
    {IDX_LDAP_SSL_ENABLED, "yes"},
    {IDX_LDAP_SERVER_CONFIG, "/opt/Varden/lib/ldap.conf"},
    {IDX_LOGIN_POLICY, "on"},
    {IDX_FFDC_CAPTURE, "on"},
    {IDX_AUTOSTART, "on"},
}};

void store_default(ConfigEntry& entry, std::string value) {
  entry.value = std::move(value);
  entry.flags |= CFG_SET | CFG_HAS_VALUE | CFG_DEFAULT;
}

}  // namespace

void zarncfg_fill_defaults(ConfigRecord& record) {
  FunctionTrace scope("zarncfg_fill_defaults");
  store_default(record[IDX_SSL_LISTENING_PORT], std::to_string(kDefaultSslListeningPort));
  for (const auto& text_default : kTextDefaults) {
    store_default(record[static_cast<std::size_t>(text_default.index)], text_default.value);
  }
}
