#include "zarncfg_config_autostart.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "zarncfg_recording_runner.h"

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

// The link commands of a configuration, and what a failed one leaves.
class AutostartStep : public StepTest {
 protected:
  void SetUp() override {
    StepTest::SetUp();
    write_on_host("/etc/rc.d/init.d/kbrevik");
    write_on_host("/etc/rc.d/init.d/brevik");
  }
  static std::vector<std::string> ln_lines(std::span<const std::string_view> table) {
    std::vector<std::string> lines;
    for (std::string_view row : table) lines.push_back("/bin/ln -f -s " + std::string(row));
    return lines;
  }

  ConfigRecord record_{};
  vd_msgid_t status_ = 0;
};

TEST_F(AutostartStep, FirstConfigurationLinksStopThenStart) {
  zarncfg_setup_autostart(record_, status_);
  std::vector<std::string> expected = ln_lines(linux_file_links_K);
  for (const std::string& line : ln_lines(linux_file_links_S)) expected.push_back(line);
  EXPECT_EQ(runner_.lines(), expected);
  EXPECT_EQ(status_, 0u);
}

TEST_F(AutostartStep, FailedStopLinkIsReportedAndTheStartLinksAreNotTried) {
  runner_.answer("rc1.d/K12brevik", 1);
  zarncfg_setup_autostart(record_, status_);
  EXPECT_EQ(runner_.lines(), ln_lines(linux_file_links_K));
  EXPECT_EQ(status_, msg_id(1313));
  EXPECT_EQ(printed(), "ZRNCF1313E   The soft link of files /etc/rc.d/init.d/brevik /etc/rc.d/rc1.d/K12brevik "
                       "could not be created.\n");
}

TEST_F(AutostartStep, MissingInitScriptIsReportedAndItsLinksAreNotMade) {
  std::filesystem::remove(on_host("/etc/rc.d/init.d/kbrevik"));
  zarncfg_setup_autostart(record_, status_);
  EXPECT_EQ(runner_.lines(), ln_lines(std::span(linux_file_links_K).subspan(3)));
  EXPECT_EQ(status_, msg_id(1311));
}

TEST_F(AutostartStep, ReconfigurationTurningAutostartOffOnlyRemovesTheStartLinks) {
  record_[IDX_CONFIG_STATE] = ConfigEntry{CFG_CURRENT | CFG_HAS_VALUE, "on"};
  record_[IDX_AUTOSTART] = ConfigEntry{CFG_SET | CFG_CMDLINE | CFG_HAS_VALUE, "off"};
  std::filesystem::create_directories(on_host("/etc/rc.d/rc3.d"));
  std::filesystem::create_symlink("/etc/rc.d/init.d/brevik", on_host("/etc/rc.d/rc3.d/S88brevik"));
  zarncfg_setup_autostart(record_, status_);
  EXPECT_EQ(runner_.lines(), std::vector<std::string>{});
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(on_host("/etc/rc.d/rc3.d/S88brevik"))));
}

}  // namespace
