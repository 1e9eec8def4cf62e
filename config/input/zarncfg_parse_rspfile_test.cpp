#include "zarncfg_parse_rspfile.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <string>
#include <vector>

#include "zarncfg_test_support.h"

namespace {

TEST(ResponseFileOption, RowOfAnOptionIndex) {
  EXPECT_EQ(zarncfg_get_idx(config_option_def, IDX_RSPFILE), 28);
  EXPECT_EQ(zarncfg_get_idx(config_option_def, 0), 0);
  EXPECT_EQ(zarncfg_get_idx(config_option_def, 44), -1);
  EXPECT_EQ(zarncfg_get_idx(std::span(config_option_def).first(28), IDX_RSPFILE), -1);
  EXPECT_EQ(zarncfg_get_idx(std::span(config_option_def).subspan(20), IDX_RSPFILE), 8);
}

struct Case {
  std::vector<std::string> args;
  int result;
  std::string file_name;
};

TEST(ResponseFileOption, FileNameFromTheCommandLine) {
  const Case cases[] = {
      {{"zarncfg"}, 0, ""},
      {{"zarncfg", "-suffix", "o=x"}, 0, ""},
      {{"zarncfg", "-rspfile", "/tmp/r.rsp"}, 1, "/tmp/r.rsp"},
      {{"zarncfg", "-rs", "r.rsp"}, 1, "r.rsp"},
      {{"zarncfg", "-suffix", "o=x", "-rsp", "a b"}, 1, "a b"},
      {{"zarncfg", "-r", "r.rsp"}, 0, ""},
      {{"zarncfg", "-RSPFILE", "r.rsp"}, 0, ""},
      {{"zarncfg", "-rspfilex", "r.rsp"}, 0, ""},
      {{"zarncfg", "-rspfile"}, -1, ""},
      {{"zarncfg", "-rspfile", "-suffix", "o=x"}, -1, ""},
      {{"zarncfg", "-rspfile", "first", "-rspfile", "second"}, 1, "first"},
      // The program name is never an option.
      {{"-rspfile", "x"}, 0, ""},
  };
  for (const auto& c : cases) {
    std::string file_name;
    EXPECT_EQ(zarncfg_get_rspfile(c.args, IDX_RSPFILE, file_name, config_option_def), c.result) << c.args.back();
    EXPECT_EQ(file_name, c.file_name) << c.args.back();
  }
}

class ResponseFile : public ReportCapture {
 protected:
  void write_file(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
  }
  vd_msgid_t parse(std::vector<std::string> args, const std::string& start_directory = "/nonexistent",
                   std::span<const StanzaOptionMap> map = config_stanza_option_map,
                   std::span<const ConfigOptionDef> options = config_option_def) {
    vd_msgid_t status = 1;
    zarncfg_config_parse_rspfile(args, options, record_, map, IDX_RSPFILE, start_directory, status);
    return status;
  }
  ConfigRecord record_{};
};

constexpr const char* kResponses =
    "[zarncfg]\n"
    "suffix = o=rsp\n"
    "delete = dns\n"
    "sec-master-pwd = pw\n"
    "state = on\n"
    "[audit]\n"
    "level = permit,deny\n"
    "[zarnwdd]\n"
    "logs = 3\n"
    "[ldap]\n"
    "ssl-certificate = /tmp/ca.arm\n"
    "[elsewhere]\n"
    "logs = 9\n";

TEST_F(ResponseFile, NoResponseFileIsNoWork) {
  EXPECT_EQ(parse({"zarncfg", "-suffix", "o=x"}), 0u);
  EXPECT_EQ(printed(), "");
  for (const auto& entry : record_) EXPECT_EQ(entry.flags, 0u);
}

TEST_F(ResponseFile, OptionWithoutValue) {
  EXPECT_EQ(parse({"zarncfg", "-rspfile", "-suffix", "o=x"}), msg_id(1332));
  EXPECT_EQ(printed(), "ZRNCF1332E   The option -rspfile requires a value to be specified. \n");
}

TEST_F(ResponseFile, OptionTableWithoutResponseFileRow) {
  const auto options = std::span(config_option_def).first(IDX_RSPFILE);
  EXPECT_EQ(parse({"zarncfg", "-rspfile", "x"}, "/", config_stanza_option_map, options), msg_id(1326));
  EXPECT_EQ(printed(), "ZRNCF1326E   Response file option could not be mapped.\n");
}

TEST_F(ResponseFile, ValuesFromAnAbsolutePath) {
  const auto path = root_ / "a.rsp";
  write_file(path, kResponses);
  record_[IDX_AUDIT_LEVEL] = {CFG_CURRENT, "all"};
  EXPECT_EQ(parse({"zarncfg", "-rs", path.string()}), 0u);
  EXPECT_EQ(printed(), "Processing the response file. \n");
  const std::pair<int, const char*> expected[] = {
      {IDX_SUFFIX, "o=rsp"}, {IDX_DELETE, "dns"},           {IDX_SEC_MASTER_PWD, "pw"},
      {IDX_CONFIG_STATE, "on"}, {IDX_AUDIT_LEVEL, "permit,deny"}, {26, "3"},
      {IDX_LDAP_SSL_CACERT, "/tmp/ca.arm"},
  };
  for (const auto& [index, value] : expected) {
    EXPECT_EQ(record_[index].value, value) << index;
    EXPECT_TRUE(record_[index].has(CFG_RSPFILE)) << index;
    EXPECT_FALSE(record_[index].has(CFG_SET | CFG_HAS_VALUE)) << index;
  }
  EXPECT_EQ(record_[IDX_AUDIT_LEVEL].flags, CFG_CURRENT | CFG_RSPFILE);
  EXPECT_EQ(record_[24].flags, 0u);
}

TEST_F(ResponseFile, RelativeNameIsFoundInTheStartDirectory) {
  write_file(root_ / "zarncfg-relative-test.rsp", "[zarncfg]\nsuffix = o=rel\n");
  EXPECT_EQ(parse({"zarncfg", "-rspfile", "zarncfg-relative-test.rsp"}, root_.string()), 0u);
  EXPECT_EQ(record_[IDX_SUFFIX].value, "o=rel");
}

TEST_F(ResponseFile, MissingFileKeepsTheLibraryStatus) {
  // The stanza library's code for a file that cannot be opened.
  constexpr vd_msgid_t kStzOpenFailed = 0x1D5A0001;
  EXPECT_EQ(parse({"zarncfg", "-rspfile", "zarncfg-missing.rsp"}, root_.string()), kStzOpenFailed);
  EXPECT_EQ(printed(), "Processing the response file. \nZRNCF1340E   File zarncfg-missing.rsp could not be opened.\n");
  EXPECT_NE(log_text().find("ZRNCF1340E   File zarncfg-missing.rsp could not be opened."), std::string::npos);
}

TEST_F(ResponseFile, ConfiguredSuffixCannotChange) {
  write_file(root_ / "a.rsp", "[zarncfg]\nsuffix = o=new\n");
  record_[IDX_SUFFIX] = {CFG_CURRENT, "o=old"};
  EXPECT_EQ(parse({"zarncfg", "-rspfile", (root_ / "a.rsp").string()}), msg_id(1317));
  EXPECT_EQ(printed(),
            "Processing the response file. \nZRNCF1317E   The option suffix cannot be changed with a reconfiguration. "
            "\nIn order to change this value, unconfigure and then configure with the new value.\n");
  EXPECT_EQ(record_[IDX_SUFFIX].value, "o=old");

  record_[IDX_SUFFIX] = {CFG_CURRENT, "o=new"};
  EXPECT_EQ(parse({"zarncfg", "-rspfile", (root_ / "a.rsp").string()}), 0u);
  EXPECT_EQ(record_[IDX_SUFFIX].flags, CFG_CURRENT | CFG_RSPFILE);
}

TEST_F(ResponseFile, OptionListedTwiceByTheMap) {
  write_file(root_ / "a.rsp", "[cache]\ndns = yes\nuid = no\n");
  const std::array<StanzaOptionMap, 2> map = {{{13, "cache", "dns", nullptr}, {13, "cache", "uid", nullptr}}};
  EXPECT_EQ(parse({"zarncfg", "-rspfile", (root_ / "a.rsp").string()}, "/", map), msg_id(1333));
  EXPECT_EQ(printed(),
            "Processing the response file. \nZRNCF1333E   The option uid has been specified more than once. \n");
}

TEST_F(ResponseFile, DeletedOptionIsNotSet) {
  write_file(root_ / "a.rsp", "[cache]\ndns = yes\n");
  record_[13] = {CFG_DELETED, "no"};
  EXPECT_EQ(parse({"zarncfg", "-rspfile", (root_ / "a.rsp").string()}), 0u);
  EXPECT_EQ(record_[13].flags, CFG_DELETED);
  EXPECT_EQ(record_[13].value, "no");
  EXPECT_NE(log_text().find("Option dns was deleted and will not be set with response file.\n"), std::string::npos);
}

TEST_F(ResponseFile, TheFileIsLeftAsItWas) {
  write_file(root_ / "a.rsp", kResponses);
  EXPECT_EQ(parse({"zarncfg", "-rspfile", (root_ / "a.rsp").string()}), 0u);
  std::ifstream in(root_ / "a.rsp");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), kResponses);
}

}  // namespace
