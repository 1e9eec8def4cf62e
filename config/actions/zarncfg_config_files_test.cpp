// The configuration files across the steps of one run: the current-files
// pass reads them, the writers edit them, the state entry edits zarnd.conf
// last.  Each file is parsed once, and again only when something else
// changed it on disk in between, as the registration tool may.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "stanza_file_stats.h"
#include "zarncfg_config_stanza.h"
#include "zarncfg_sniff.h"
#include "zarncfg_test_support.h"

namespace {

class ConfigFilesTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    zarnd_ = (root_ / "zarnd.conf").string();
    brevik_ = (root_ / "brevik.conf").string();
    map_ = {{
        {24, "zarnd", "logs", zarnd_.c_str()},
        {47, "zarncfg", "state", zarnd_.c_str()},
        {30, "ssl", "ssl-listening-port", zarnd_.c_str()},
        {13, "cache", "dns", brevik_.c_str()},
    }};
    write(zarnd_, "[ssl]\nssl-listening-port = 7134\n\n[zarnd]\nlogs = 2\n");
    write(brevik_, "[cache]\ndns = on\n");
  }

  static void write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
  static std::string read(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
  }

  // A reconfiguration of -zarnd_logs: the steps of a run that touch files.
  void readCurrentFiles() {
    const std::array<const char*, 2> files = {zarnd_.c_str(), brevik_.c_str()};
    vd_msgid_t status = 0;
    zarncfg_read_current_files(files, "", record_, map_, status);
    ASSERT_EQ(status, 0u);
    EXPECT_EQ(record_[24].text(), "2");
    record_[24].value = "4";
    record_[24].flags |= CFG_SET;
  }
  void writeFiles() {
    vd_msgid_t status = 0;
    zarncfg_build_config_file(brevik_, record_, map_, status);
    zarncfg_build_config_file(zarnd_, record_, map_, status);
    ASSERT_EQ(status, 0u);
  }
  void setState() {
    vd_msgid_t status = 0;
    zarncfg_set_config_state("on", zarnd_, "zarncfg", "state", status);
    ASSERT_EQ(status, 0u);
  }

  std::string zarnd_, brevik_;
  std::array<StanzaOptionMap, 4> map_{};
  ConfigRecord record_{};
};

TEST_F(ConfigFilesTest, EachFileIsParsedOnceInARun) {
  readCurrentFiles();
  writeFiles();
  setState();
  EXPECT_EQ(read(zarnd_), "[ssl]\nssl-listening-port = 7134\n\n[zarnd]\nlogs = 4\n\n[zarncfg]\nstate = on\n");
  EXPECT_EQ(stzFileStats(zarnd_).parses, 1u);
  EXPECT_EQ(stzFileStats(brevik_).parses, 1u);
}

// The registration tool is given zarnd.conf between its writer and the
// state entry; what it wrote must survive the state entry.
TEST_F(ConfigFilesTest, AFileAToolRewroteIsParsedAgainAndKeepsTheToolsChange) {
  readCurrentFiles();
  writeFiles();
  std::string text = read(zarnd_);
  text.replace(text.find("7134"), 4, "7135");
  const std::string replacement = zarnd_ + ".tool";
  write(replacement, text);
  ASSERT_EQ(std::rename(replacement.c_str(), zarnd_.c_str()), 0);
  setState();
  EXPECT_EQ(read(zarnd_), "[ssl]\nssl-listening-port = 7135\n\n[zarnd]\nlogs = 4\n\n[zarncfg]\nstate = on\n");
  EXPECT_EQ(stzFileStats(zarnd_).parses, 2u);
  EXPECT_EQ(stzFileStats(brevik_).parses, 1u);
}

}  // namespace
