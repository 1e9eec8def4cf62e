#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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
