// The log router daemon's registration: the tool's command line, where its
// output goes, and what is left when the tool fails.
#include "zarncfg_config_lrd.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "stanza_file.h"
#include "zarncfg_recording_runner.h"

namespace {

constexpr std::uint32_t kGiven = CFG_SET | CFG_CMDLINE | CFG_HAS_VALUE;
constexpr const char* kConf = "/opt/zarn/etc/zarnlrd.conf";

class LrdConfigTest : public StepTest {
 protected:
  void SetUp() override {
    StepTest::SetUp();
    record_[IDX_SEC_MASTER_PWD] = ConfigEntry{kGiven, "Pw 4711"};
    record_[IDX_LRD_LOGS] = ConfigEntry{kGiven, "3"};
    write_on_host("/opt/zarn/etc/zarnlrd.xml.template", "<template/>\n");
    write_on_host("/opt/zarn/etc/zarnlrd.xml", "<old/>\n");
  }
  // An entry of the host's zarnlrd.conf, read back through the library.
  std::optional<std::string> lrd_entry(const char* entry) const {
    vd_status_t status = 0;
    const auto file = stzFileOpen(on_host(kConf), STZ_MODE_READ, status);
    if (!file || stzMoveEntry(*file, "zarnlrd", entry) == 0) return std::nullopt;
    return file->value;
  }
  std::string host_file(const char* path) const {
    std::ifstream in(on_host(path));
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  ConfigRecord record_{};
  int lrd_status_ = 0;
  vd_msgid_t status_ = 0;
};

TEST_F(LrdConfigTest, RegistersTheDaemonWithItsOutputInTmpAndRecordsItsState) {
  zarncfg_configure_zarnlrd(1, record_, lrd_status_, status_);
  EXPECT_EQ(status_, 0u);
  ASSERT_EQ(runner_.commands().size(), 1u);
  const ShellCommand& command = runner_.commands()[0];
  EXPECT_EQ(command.text,
            "/opt/Varden/bin/certbind -config -f /opt/zarn/etc/zarnlrd.conf -d /var/zarn/certs -n zarnlrd "
            "-s remote -P 'Pw 4711' -S - -r 7777");
  EXPECT_EQ(command.output.name, on_host("/tmp/.zarn_config"));
  EXPECT_EQ(command.errors.name, on_host("/tmp/.zarn_config"));
  EXPECT_EQ(printed(), "Configuring the ZARNLRD daemon.\n");
  EXPECT_EQ(lrd_entry("logs"), "3");
  EXPECT_EQ(lrd_entry("state"), "on");
  EXPECT_EQ(host_file("/opt/zarn/etc/zarnlrd.xml"), "<template/>\n");
  EXPECT_EQ(host_file("/opt/zarn/etc/zarnlrd.xml.bak"), "<old/>\n");
  EXPECT_EQ(log_text().find("Pw 4711"), std::string::npos);
}

TEST_F(LrdConfigTest, FailedRegistrationLeavesNoStateAndTheXmlAlone) {
  runner_.answer("certbind", 2);
  zarncfg_configure_zarnlrd(1, record_, lrd_status_, status_);
  EXPECT_EQ(status_, msg_id(1391));
  EXPECT_EQ(lrd_status_, 0);
  EXPECT_EQ(printed(), "Configuring the ZARNLRD daemon.\n"
                       "ZRNCF1391E   The configuration of the ZARNLRD daemon failed.\n");
  EXPECT_NE(log_text().find("ZRNCF1391E   The configuration of the ZARNLRD daemon failed."), std::string::npos);
  EXPECT_EQ(lrd_entry("logs"), "3");
  EXPECT_EQ(lrd_entry("state"), std::nullopt);
  EXPECT_EQ(host_file("/opt/zarn/etc/zarnlrd.xml"), "<old/>\n");
}

TEST_F(LrdConfigTest, ConfiguredDaemonOnlyGetsItsLogSettings) {
  record_[IDX_LRD_STATE] = ConfigEntry{CFG_CURRENT | CFG_HAS_VALUE, "on"};
  zarncfg_configure_zarnlrd(1, record_, lrd_status_, status_);
  EXPECT_EQ(runner_.lines(), std::vector<std::string>{});
  EXPECT_EQ(printed(), "ZARNLRD has already been configured.\n");
  EXPECT_EQ(lrd_entry("logs"), "3");
  EXPECT_EQ(lrd_entry("state"), std::nullopt);
}

}  // namespace
