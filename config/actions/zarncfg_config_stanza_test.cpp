#include "zarncfg_config_stanza.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sys_testing.h"

namespace {

using sys::FileSizeLimit;

class ConfigStanzaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_ + "/daemon.conf";
    map_ = {{
        {16, "zarnd", "kmsg-handler-threads", path_.c_str()},
        {13, "cache", "dns", path_.c_str()},
        {37, "cache", "uid", path_.c_str()},
        {29, "zarncfg", "sec-master-pwd", nullptr},
        {23, "zarnd", "log-entries", "/elsewhere.conf"},
    }};
  }

  std::string read() {
    std::ifstream in(path_);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }
  void write(const std::string& text) { std::ofstream(path_) << text; }
  static void set(ConfigRecord& record, int index, const char* value, std::uint32_t flags = CFG_SET) {
    record[static_cast<std::size_t>(index)].value = value;
    record[static_cast<std::size_t>(index)].flags = flags;
  }

  const sys::ScratchDir scratch_{"zarncfg-stanza-test"};
  const std::string dir_ = scratch_.path().string();
  std::string path_;
  std::array<StanzaOptionMap, 5> map_{};
};

TEST_F(ConfigStanzaTest, AbsentFileIsCreatedWithTheSetOptionsInRowOrder) {
  ConfigRecord record{};
  set(record, 37, "off");
  set(record, 16, "4");
  set(record, 29, "Secret");  // a row without a file is never written
  set(record, 23, "99");      // a row of another file
  vd_msgid_t status = 0;
  EXPECT_EQ(zarncfg_build_config_file(path_, record, map_, status), 1);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(read(), "[zarnd]\nkmsg-handler-threads = 4\n\n[cache]\nuid = off\n");
}

TEST_F(ConfigStanzaTest, SetReplacesDeletedRemovesOthersStay) {
  write("[zarnd]\nkmsg-handler-threads = 2\n\n[cache]\ndns = on\nuid = on\n");
  ConfigRecord record{};
  set(record, 16, "8");
  set(record, 13, "on", CFG_DELETED);
  set(record, 37, "on", CFG_CURRENT | CFG_HAS_VALUE);  // only read from the file
  vd_msgid_t status = 0;
  EXPECT_EQ(zarncfg_build_config_file(path_, record, map_, status), 1);
  EXPECT_EQ(read(), "[zarnd]\nkmsg-handler-threads = 8\n\n[cache]\nuid = on\n");
}

TEST_F(ConfigStanzaTest, DeletingAnAbsentEntryIsNoError) {
  write("[cache]\nuid = on\n");
  ConfigRecord record{};
  set(record, 13, "on", CFG_DELETED);
  vd_msgid_t status = 0;
  EXPECT_EQ(zarncfg_build_config_file(path_, record, map_, status), 1);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(read(), "[cache]\nuid = on\n");
}

TEST_F(ConfigStanzaTest, FileThatCannotBeOpenedGives1305) {
  ConfigRecord record{};
  vd_msgid_t status = 0;
  EXPECT_EQ(zarncfg_build_config_file(dir_ + "/missing/x.conf", record, map_, status), 0);
  EXPECT_EQ(status, msg_id(1305));
}

TEST_F(ConfigStanzaTest, StateEntryIsAddedToItsStanza) {
  write("[zarncfg]\nsuffix = o=zarn\n");
  vd_msgid_t status = 5;
  zarncfg_set_config_state("on", path_, "zarncfg", "state", status);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(read(), "[zarncfg]\nsuffix = o=zarn\nstate = on\n");
}

TEST_F(ConfigStanzaTest, FailedWriteBackFailsTheFileWithItsStatus) {
  write("[zarnd]\nkmsg-handler-threads = 2\n");
  ConfigRecord record{};
  set(record, 16, "8");
  vd_msgid_t status = 0;
  int written = 1;
  {
    FileSizeLimit limit(1);
    written = zarncfg_build_config_file(path_, record, map_, status);
  }
  EXPECT_EQ(written, 0);
  EXPECT_EQ(status, msg_id(1305));
  EXPECT_EQ(read(), "[zarnd]\nkmsg-handler-threads = 2\n");
}

TEST_F(ConfigStanzaTest, FailedWriteBackOfTheStateEntryFailsIt) {
  write("[zarncfg]\nsuffix = o=zarn\n");
  vd_msgid_t status = 0;
  {
    FileSizeLimit limit(1);
    zarncfg_set_config_state("on", path_, "zarncfg", "state", status);
  }
  EXPECT_EQ(status, msg_id(1305));
  EXPECT_EQ(read(), "[zarncfg]\nsuffix = o=zarn\n");
}

}  // namespace
