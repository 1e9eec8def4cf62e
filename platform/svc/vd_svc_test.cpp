#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "vd_svc.h"
#include "vd_test_support.h"

namespace {

constexpr vd_msg_entry kMessages[] = {
    {0x357D5004, "%s "},
    {0x357D5011, "\n\n%s has begun.\n"},
    {0x357D553A, "ZRNCF1338E   This command must be run by the root user. \n"},
};
constexpr vd_svc_subcomponent kSubcomponents[] = {
    {"zarncfg", "General", 1, 0}, {"zarncfg_trace", "Trace", 2, 0}, {"zarncfg_util", "Utility", 3, 0},
    {nullptr, nullptr, 0, 0}};

class VdSvc : public vdtest::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    vd_status_t status = 1;
    handle_ = vd_svc_register(kSubcomponents, "ocf", status);
    ASSERT_EQ(status, 0u);
    vd_msg_define_msg_table(kMessages, std::size(kMessages), status);
    ASSERT_EQ(status, 0u);
  }
  std::string read_log() { return read_file(dir_ / "test.log"); }

  vd_svc_handle_t handle_ = nullptr;
};

TEST_F(VdSvc, RoutingToAMissingDirectoryFails) {
  vd_status_t status = 0;
  vd_svc_routing("NOTICE:TEXTFILE:" + (dir_ / "missing" / "x.log").string(), status);
  EXPECT_NE(status, 0u);
  EXPECT_FALSE(vd_error_inq_text(status).empty());
}

TEST_F(VdSvc, MalformedRoutesFail) {
  for (const char* route : {"NOTICE", "NOTICE:FILE:/tmp/x", "LOUD:TEXTFILE:/tmp/x", "ERROR:TEXTFILE:relative"}) {
    vd_status_t status = 0;
    vd_svc_routing(route, status);
    EXPECT_NE(status, 0u) << route;
  }
}

TEST_F(VdSvc, RecordsCarryAHeaderAndFreeTextDoesNot) {
  vd_status_t status = 1;
  for (const char* severity : {"NOTICE", "ERROR"}) {
    vd_svc_routing(std::string(severity) + ":TEXTFILE:" + (dir_ / "test.log").string(), status);
    ASSERT_EQ(status, 0u);
  }
  vd_svc_printf_withfile(handle_, "/src/zarncfg_main.cpp", 42, "%s", 2, 0x40, 0x357D5011, "zarncfg");
  vd_svc_printf_withfile(handle_, "zarncfg_parse_cl.cpp", 7, "%s", 2, 0x8040, 0x357D5004, "-suffix");
  vd_svc_printf_withfile(handle_, "zarncfg_parse_cl.cpp", 8, "%s", 2, 0x8040, 0x357D5004, "o=x");
  vd_svc_printf_withfile(handle_, "zarncfg_validate.cpp", 9, "", 0, 0x20, 0x357D553A);
  const std::string log = read_log();
  EXPECT_NE(log.find(" NOTICE ocf.zarncfg_util zarncfg_main.cpp:42 0x357D5011\n\n\nzarncfg has begun.\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("\n-suffix o=x "), std::string::npos) << log;
  EXPECT_NE(log.find(" ERROR ocf.zarncfg zarncfg_validate.cpp:9 0x357D553A\nZRNCF1338E"), std::string::npos) << log;
}

std::string utc_second_now() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

// The calendar part of the time stamp is kept from one record to the next
// until the second changes: a record written in a new second must show it.
TEST_F(VdSvc, EachRecordCarriesTheTimeItWasWritten) {
  vd_status_t status = 1;
  vd_svc_routing("NOTICE:TEXTFILE:" + (dir_ / "test.log").string(), status);
  ASSERT_EQ(status, 0u);
  const std::regex header(
      R"(^(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})\.\d{3} UTC (\d+) NOTICE ocf\.zarncfg f\.cpp:7 0x357D5004$)");
  for (int record = 0; record < 2; ++record) {
    const std::string first = utc_second_now();
    vd_svc_printf_withfile(handle_, "src/f.cpp", 7, "%s", 0, 0x40, 0x357D5004, "text");
    const std::string last = utc_second_now();
    std::istringstream lines(read_log());
    std::string line;
    for (int skip = 0; skip <= 2 * record; ++skip) std::getline(lines, line);
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(line, parts, header)) << line;
    EXPECT_TRUE(parts[1] == first || parts[1] == last) << line << " written between " << first << " and " << last;
    EXPECT_EQ(parts[2], std::to_string(getpid()));
    while (utc_second_now() == last) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

TEST_F(VdSvc, AnUnknownMessageIsLoggedByItsNumber) {
  vd_status_t status = 1;
  vd_svc_routing("ERROR:TEXTFILE:" + (dir_ / "test.log").string(), status);
  ASSERT_EQ(status, 0u);
  vd_svc_printf_withfile(handle_, "f.cpp", 3, "", 0, 0x20, 0x0000ABCD);
  EXPECT_NE(read_log().find(" 0x0000ABCD\n<unknown message 0x0000ABCD>\n"), std::string::npos) << read_log();
}

TEST_F(VdSvc, UnroutedSeverityIsDropped) {
  vd_status_t status = 1;
  vd_svc_routing("ERROR:TEXTFILE:" + (dir_ / "test.log").string(), status);
  ASSERT_EQ(status, 0u);
  vd_svc_printf_withfile(handle_, "f.cpp", 1, "%s", 1, 0x30, 0x357D5004, "warning");
  EXPECT_EQ(read_log().find("warning"), std::string::npos);
}

TEST_F(VdSvc, SprintfReturnsTheBareText) {
  EXPECT_EQ(vd_sprintf(0x357D5011).value(), "\n\n%s has begun.\n");
  EXPECT_FALSE(vd_sprintf(0x357D5FFF).has_value());
}

// Each severity's file stays open while a route names it; routing
// elsewhere closes it and writes the next records to the new file.
TEST_F(VdSvc, ReroutingMovesRecordsToTheNewFile) {
  const std::string first = (dir_ / "test.log").string();
  const std::string second = (dir_ / "second.log").string();
  vd_status_t status = 1;
  vd_svc_routing("NOTICE:TEXTFILE:" + first, status);
  ASSERT_EQ(status, 0u);
  vd_svc_printf_withfile(handle_, "f.cpp", 1, "%s", 1, 0x8040, 0x357D5004, "before");
  vd_svc_routing("NOTICE:TEXTFILE:" + second, status);
  ASSERT_EQ(status, 0u);
  vd_svc_printf_withfile(handle_, "f.cpp", 2, "%s", 1, 0x8040, 0x357D5004, "after");
  EXPECT_EQ(read_log(), "before ");
  EXPECT_EQ(read_file(second), "after ");
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    EXPECT_NE(std::filesystem::read_symlink(entry.path(), ec).string(), first);
  }
}

}  // namespace
