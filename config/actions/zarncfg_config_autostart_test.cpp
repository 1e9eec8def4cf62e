#include "zarncfg_config_autostart.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

std::string target_of(std::string_view row) { return std::string(row.substr(0, row.find(' '))); }
std::string link_of(std::string_view row) { return std::string(row.substr(row.find(' ') + 1)); }

TEST(AutostartLinks, StartLinksStartTheKernelPartFirstInLevels2To5) {
  for (std::size_t i = 0; i < linux_file_links_S.size(); ++i) {
    const std::string level = std::to_string(2 + i % 4);
    const bool kernel = i < 4;
    EXPECT_EQ(target_of(linux_file_links_S[i]), kernel ? "/etc/rc.d/init.d/kbrevik" : "/etc/rc.d/init.d/brevik");
    EXPECT_EQ(link_of(linux_file_links_S[i]),
              "/etc/rc.d/rc" + level + (kernel ? ".d/S87kbrevik" : ".d/S88brevik"));
  }
}

TEST(AutostartLinks, StopLinksStopTheDaemonsFirstInLevels016) {
  const char* levels[] = {"0", "1", "6"};
  for (std::size_t i = 0; i < linux_file_links_K.size(); ++i) {
    const bool kernel = i < 3;
    EXPECT_EQ(target_of(linux_file_links_K[i]), kernel ? "/etc/rc.d/init.d/kbrevik" : "/etc/rc.d/init.d/brevik");
    EXPECT_EQ(link_of(linux_file_links_K[i]),
              std::string("/etc/rc.d/rc") + levels[i % 3] + (kernel ? ".d/K13kbrevik" : ".d/K12brevik"));
  }
}

TEST(AutostartLinks, EveryRowHasExactlyOneBlankAndAUniqueLink) {
  std::set<std::string> links;
  for (auto table : {std::span<const std::string_view>(linux_file_links_S),
                     std::span<const std::string_view>(linux_file_links_K)}) {
    for (std::string_view row : table) {
      EXPECT_EQ(std::count(row.begin(), row.end(), ' '), 1) << row;
      EXPECT_TRUE(links.insert(link_of(row)).second) << row;
    }
  }
  EXPECT_EQ(links.size(), 14u);
}

TEST(AutostartPlan, DecisionTable) {
  struct Row {
    bool configured, given, on;
    AutostartPlan plan;
  };
  const Row rows[] = {
      {true, false, false, AutostartPlan::leave_alone},
      {true, true, true, AutostartPlan::create_start_links},
      {true, true, false, AutostartPlan::remove_start_links},
      {false, true, false, AutostartPlan::create_stop_links},
      {false, true, true, AutostartPlan::create_stop_then_start_links},
      {false, false, false, AutostartPlan::create_stop_then_start_links},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(zarncfg_autostart_plan(row.configured, row.given, row.on), row.plan)
        << row.configured << row.given << row.on;
  }
}

}  // namespace
