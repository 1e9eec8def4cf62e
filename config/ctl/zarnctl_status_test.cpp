#include "zarnctl_status.h"

#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "zarnctl_status_keys.h"

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

// The JSON's paths: every member, objects' members dotted.
void collect_paths(const nlohmann::json& json, const std::string& prefix, std::set<std::string>& paths) {
  for (const auto& [key, value] : json.items()) {
    const std::string path = prefix.empty() ? key : prefix + "." + key;
    paths.insert(path);
    if (value.is_object()) collect_paths(value, path, paths);
  }
}

// The manual page documents exactly the keys the JSON has.
TEST(StatusJson, HasEveryDocumentedKeyAndNoOther) {
  HostStatus status;
  status.configured = true;
  status.branch = "brevik1";
  status.unfinished_run = UnfinishedRun{"zarnhost", 42, 1700000000, false};
  const nlohmann::json json = status_json(status);
  std::set<std::string> paths;
  collect_paths(json, "", paths);
  std::set<std::string> documented;
  for (const StatusKey& row : kStatusKeys) documented.insert(std::string(row.key));
  for (const std::string& path : paths) {
    const auto pointer = nlohmann::json::json_pointer("/" + std::regex_replace(path, std::regex("\\."), "/"));
    if (!json.at(pointer).is_object() || path == "unfinished_run") {
      EXPECT_TRUE(documented.count(path)) << path;
    }
  }
  for (const std::string& key : documented) EXPECT_TRUE(paths.count(key)) << key;
  EXPECT_EQ(json["branch"], "brevik1");
  EXPECT_TRUE(json["suffix"].is_null());
  EXPECT_EQ(json["last_run"]["outcome"], "none");
  EXPECT_EQ(json["unfinished_run"]["pid"], 42);
  EXPECT_EQ(json["unfinished_run"]["live"], false);
  EXPECT_EQ(nlohmann::json::parse(json.dump()), json);
}

}  // namespace
