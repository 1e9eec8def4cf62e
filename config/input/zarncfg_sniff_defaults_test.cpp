#include <gtest/gtest.h>

#include "zarncfg_sniff.h"

namespace {

TEST(Defaults, SixDefaultsAreSetWithTheirFlags) {
  ConfigRecord record{};
  record[IDX_AUTOSTART] = {CFG_CURRENT, "off"};
  zarncfg_fill_defaults(record);
  const std::pair<int, const char*> expected[] = {
      {IDX_SSL_LISTENING_PORT, "7134"}, {IDX_LDAP_SSL_ENABLED, "yes"}, {IDX_LDAP_SERVER_CONFIG, "/opt/Varden/lib/ldap.conf"},
      {IDX_LOGIN_POLICY, "on"},         {IDX_FFDC_CAPTURE, "on"},      {IDX_AUTOSTART, "on"},
  };
  int with_flags = 0;
  for (const auto& entry : record) with_flags += entry.flags != 0;
  EXPECT_EQ(with_flags, 6);
  for (const auto& [index, value] : expected) {
    EXPECT_EQ(record[index].value, value) << index;
    EXPECT_EQ(record[index].flags & ~CFG_CURRENT, 0x31u) << index;
  }
  EXPECT_EQ(record[IDX_AUTOSTART].flags, 0x39u);
}

}  // namespace
