#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>
#include <string>

#include "zarncfg_msg.h"

namespace {

TEST(Catalog, IdentifiersAscendAndLieInTheirBands) {
  vd_msgid_t previous = 0;
  for (const auto& entry : zarncfg_svc_msg_table) {
    EXPECT_GT(entry.id, previous);
    previous = entry.id;
    const unsigned n = entry.id - ZARNCFG_MSG_BASE;
    const bool in_band = (n >= 1 && n <= 26) || (n >= 102 && n <= 153) || (n >= 301 && n <= 412) ||
                         (n >= 1301 && n <= 1406) || (n >= 1420 && n <= 1430) || (n >= 1440 && n <= 1444) ||
                         (n >= 2301 && n <= 2310) || (n >= 2800 && n <= 2812) || (n >= 2850 && n <= 2862);
    EXPECT_TRUE(in_band) << n;
  }
}

TEST(Catalog, CodedMessagesCarryTheirOwnNumber) {
  const std::regex code("^ZRNCF([0-9]{4})([EWI])   ");
  int coded = 0;
  for (const auto& entry : zarncfg_svc_msg_table) {
    std::cmatch match;
    if (!std::regex_search(entry.text, match, code)) continue;
    ++coded;
    EXPECT_EQ(std::stoul(match[1].str()), entry.id - ZARNCFG_MSG_BASE) << entry.text;
  }
  EXPECT_EQ(coded, 149);
}

TEST(Catalog, ExamplesFromTheMessageNumbering) {
  EXPECT_EQ(msg_id(1338), 0x357D553Au);
  const std::set<unsigned> needed = {1, 3, 4, 5, 13, 14, 17, 18, 21, 25, 141, 150, 302, 303, 315, 1338};
  std::set<unsigned> present;
  for (const auto& entry : zarncfg_svc_msg_table) present.insert(entry.id - ZARNCFG_MSG_BASE);
  for (unsigned n : needed) EXPECT_EQ(present.count(n), 1u) << n;
}

TEST(SubcomponentTable, SevenRowsEndedByZeros) {
  ASSERT_EQ(zarncfg_svc_table.size(), 8u);
  EXPECT_STREQ(zarncfg_svc_table[1].name, "zarncfg_trace");
  EXPECT_EQ(zarncfg_svc_table[6].description_id, msg_id(2869));
  EXPECT_EQ(zarncfg_svc_table[7].name, nullptr);
}

}  // namespace
