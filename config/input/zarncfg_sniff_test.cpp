#include "zarncfg_sniff.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "zarncfg_test_support.h"

namespace {

TEST(Defaults, SixDefaultsAreSetWithTheirFlags) {
  ConfigRecord record{};
  record[IDX_AUTOSTART] = {CFG_CURRENT, "off"};
  zarncfg_fill_defaults(record);
  const std::pair<int, const char*> expected[] = {
      {IDX_SSL_LISTENING_PORT, "7134"}, {IDX_LDAP_SSL_ENABLED, "yes"}, {IDX_LDAP_SERVER_CONFIG, "/opt/Varden/lib/ldap.conf"},
      {IDX_LOGIN_POLICY, "on"},         {IDX_FFDC_CAPTURE, "on"},      {IDX_AUTOSTART, "on"},
  };
  int with_flags = 0;
  for (const auto& entry : record) with_flags += entry.flags != 0;
  EXPECT_EQ(with_flags, 6);
  for (const auto& [index, value] : expected) {
    EXPECT_EQ(record[index].value, value) << index;
    EXPECT_EQ(record[index].flags & ~CFG_CURRENT, 0x31u) << index;
  }
  EXPECT_EQ(record[IDX_AUTOSTART].flags, 0x39u);
}

class CurrentFiles : public ReportCapture {
 protected:
  std::string write_file(const std::string& name, const std::string& text) {
    const auto path = root_ / name;
    std::ofstream out(path);
    out << text;
    return path.string();
  }
  vd_msgid_t read(const std::vector<std::string>& paths, const std::string& repeatable = "") {
    std::vector<const char*> files;
    for (const auto& path : paths) files.push_back(path.c_str());
    vd_msgid_t status = 1;
    zarncfg_read_current_files(files, repeatable, record_, config_stanza_option_map, status);
    return status;
  }
  ConfigRecord record_{};
};

TEST_F(CurrentFiles, ValuesAreMarkedCurrentAndReplaceDefaults) {
  zarncfg_fill_defaults(record_);
  const auto zarnd = write_file("zarnd.conf",
                                "[ssl]\nssl-listening-port = 7135\n[zarncfg]\nstate = on\nsuffix = o=x\n"
                                "[credentials]\ncritical-cred-group = crit\n");
  const auto brevik = write_file("brevik.conf", "[policy]\nbranch = b1\n[cache]\ndns = yes\n");
  EXPECT_EQ(read({zarnd, (root_ / "missing.conf").string(), brevik}), 0u);
  EXPECT_EQ(record_[IDX_SSL_LISTENING_PORT].value, "7135");
  EXPECT_EQ(record_[IDX_SSL_LISTENING_PORT].flags, 0x39u);
  EXPECT_EQ(record_[IDX_CONFIG_STATE].flags, CFG_CURRENT);
  EXPECT_TRUE(is_already_configured(record_));
  EXPECT_EQ(record_[IDX_SUFFIX].value, "o=x");
  EXPECT_EQ(record_[IDX_BRANCH].value, "b1");
  EXPECT_EQ(record_[10].value, "crit");
  EXPECT_EQ(record_[IDX_FFDC_CAPTURE].flags, 0x31u);
  EXPECT_EQ(printed(), "");
  const std::string log = log_text();
  EXPECT_NE(log.find("Gathering information from " + zarnd + ".\n"), std::string::npos) << log;
  EXPECT_NE(log.find("File " + (root_ / "missing.conf").string() + " could not be found for processing.\n"),
            std::string::npos)
      << log;
}

TEST_F(CurrentFiles, EntryInTwoFilesIsRefused) {
  const auto zarnd = write_file("zarnd.conf", "[zarncfg]\nsuffix = o=x\n");
  const auto evcd = write_file("zarnevcd.conf", "[zarncfg]\nsuffix = o=y\n");
  const auto later = write_file("zarnwdd.conf", "[zarnwdd]\nlogs = 4\n");
  EXPECT_EQ(read({zarnd, evcd, later}), msg_id(1333));
  EXPECT_EQ(printed(), "ZRNCF1333E   The option suffix has been specified more than once. \n");
  EXPECT_EQ(record_[IDX_SUFFIX].value, "o=x");
  EXPECT_EQ(record_[26].flags, 0u);
}

TEST_F(CurrentFiles, TheRepeatableFileWins) {
  const auto zarnd = write_file("zarnd.conf", "[zarnlrd]\nstate = off\n");
  const auto lrd = write_file("zarnlrd.conf", "[zarnlrd]\nstate = on\nlogs = 2\n");
  EXPECT_EQ(read({zarnd, lrd}, lrd), 0u);
  EXPECT_TRUE(is_lrd_configured(record_));
  EXPECT_EQ(record_[IDX_LRD_LOGS].value, "2");
}

TEST_F(CurrentFiles, CapitalOnDoesNotCountAsConfigured) {
  const auto zarnd = write_file("zarnd.conf", "[zarncfg]\nstate = On\n");
  EXPECT_EQ(read({zarnd}), 0u);
  EXPECT_FALSE(is_already_configured(record_));
}

TEST_F(CurrentFiles, UnopenableFilesAreSkipped) {
  std::filesystem::create_directory(root_ / "zarnd.conf");
  const auto malformed = write_file("zarnauditd.conf", "logs = 3\n[zarnauditd]\nlog-entries = 5\n");
  const auto brevik = write_file("brevik.conf", "[policy]\nbranch = b1\n");
  EXPECT_EQ(read({(root_ / "zarnd.conf").string(), malformed, brevik}), 0u);
  EXPECT_EQ(record_[IDX_BRANCH].value, "b1");
  EXPECT_EQ(record_[2].flags, 0u);
  EXPECT_EQ(printed(), "");
}

}  // namespace
