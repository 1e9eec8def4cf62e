#include "zarnctl_status.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* kHead = "2026-01-01 10:00:00.000 UTC zarncfg 1 notice\n\n\n/opt/zarn/bin/zarncfg has begun.\n";
constexpr const char* kEnd = "=============================\n\n";

struct LogCase {
  const char* name;
  std::string log;
  LastRun expected;
};

const LogCase kCases[] = {
    {"NoRun", "", {}},
    {"Succeeded", std::string(kHead) + "The configuration process completed successfully. \n" + kEnd,
     {"succeeded", std::nullopt, std::nullopt, std::nullopt}},
    {"FailedWithItsCause",
     std::string(kHead) + "ZRNCF1369E   The zarnlpadm process did not complete successfully.\n" +
         "ZRNCF0021E   The configuration process did not complete successfully. \n" + kEnd,
     {"failed", "ZRNCF0021E", "ZRNCF1369E", "ZRNCF1369E   The zarnlpadm process did not complete successfully."}},
    {"KilledRunNeverEnded", std::string(kHead) + "Configuring Zarn. \n", {"unfinished", std::nullopt, std::nullopt, std::nullopt}},
    {"OnlyTheLastRunCounts",
     std::string(kHead) + "ZRNCF1369E   x\nZRNCF0021E   y\n" + kEnd + kHead + "Version 1\n" + kEnd,
     {"informational", std::nullopt, std::nullopt, std::nullopt}},
};

class LastRunFromLog : public testing::TestWithParam<LogCase> {};

TEST_P(LastRunFromLog, TellsOutcomeAndCause) {
  EXPECT_EQ(parse_last_run(GetParam().log), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LastRunFromLog, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<LogCase>& info) { return std::string(info.param.name); });

// Every documented key is there, with null for what is unknown.
TEST(StatusJson, HasEveryKey) {
  HostStatus status;
  status.configured = true;
  status.branch = "brevik1";
  status.unfinished_run = UnfinishedRun{"zarnhost", 42, 1700000000, false};
  const nlohmann::json json = status_json(status);
  for (const char* key : {"configured", "branch", "suffix", "registered_name", "autostart_links", "zarnd",
                          "log_router", "last_run", "unfinished_run", "unfinished_work", "run_in_progress"}) {
    EXPECT_TRUE(json.contains(key)) << key;
  }
  EXPECT_EQ(json["branch"], "brevik1");
  EXPECT_TRUE(json["suffix"].is_null());
  EXPECT_EQ(json["last_run"]["outcome"], "none");
  EXPECT_EQ(json["unfinished_run"]["pid"], 42);
  EXPECT_EQ(json["unfinished_run"]["live"], false);
  EXPECT_EQ(nlohmann::json::parse(json.dump()), json);
}

}  // namespace
