#include "zarnctl_prerequisites.h"

#include <gtest/gtest.h>

namespace {

struct LinksCase {
  const char* name;
  bool configured;
  const char* autostart;  // nullptr: not given
  std::size_t stop_links, start_links;
};

// The links whose folders and targets a plan checks: those the run makes.
const LinksCase kCases[] = {
    {"FirstConfiguration", false, nullptr, 6, 8},
    {"FirstConfigurationWithoutAutostart", false, "off", 6, 0},
    {"ReconfigurationLeavesThemAlone", true, nullptr, 0, 0},
    {"ReconfigurationSwitchesAutostartOn", true, "on", 0, 8},
    {"ReconfigurationSwitchesAutostartOffAndOnlyRemoves", true, "off", 0, 0},
};

class LinksToCreate : public testing::TestWithParam<LinksCase> {};

TEST_P(LinksToCreate, FollowTheAutostartPlan) {
  const LinksCase& c = GetParam();
  ConfigRecord record{};
  if (c.configured) {
    record[IDX_CONFIG_STATE].flags = CFG_CURRENT | CFG_SET;
    record[IDX_CONFIG_STATE].value = "on";
  }
  if (c.autostart != nullptr) {
    record[IDX_AUTOSTART].flags = CFG_SET | CFG_CMDLINE;
    record[IDX_AUTOSTART].value = c.autostart;
  }
  std::size_t stop = 0, start = 0;
  for (std::string_view row : zarnctl_links_to_create(record)) {
    stop += row.find("/K1") != std::string_view::npos;
    start += row.find("/S8") != std::string_view::npos;
  }
  EXPECT_EQ(stop, c.stop_links);
  EXPECT_EQ(start, c.start_links);
}

INSTANTIATE_TEST_SUITE_P(Cases, LinksToCreate, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<LinksCase>& info) { return std::string(info.param.name); });

}  // namespace
