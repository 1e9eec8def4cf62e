#include "zarncfg_parse_cl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "zarncfg_test_support.h"

namespace {

std::vector<std::string> command(std::initializer_list<std::string> words) {
  std::vector<std::string> args = {"zarncfg"};
  args.insert(args.end(), words);
  return args;
}

class ParseCommandLine : public ReportCapture {
 protected:
  vd_msgid_t parse(std::initializer_list<std::string> words) {
    vd_msgid_t status = 1;
    zarncfg_parse_command_line(command(words), config_option_def, record_, status);
    return status;
  }
  vd_msgid_t parse_all(std::initializer_list<std::string> words, int delete_index = IDX_DELETE) {
    vd_msgid_t status = 1;
    zarncfg_parse_the_command_line(command(words), record_, config_option_def, delete_index, ZARND_DELETE_ITEMS,
                                   zarncfg_required_options, status);
    return status;
  }
  ConfigRecord record_{};
};

struct StoredCase {
  std::vector<std::string> words;
  int index;
  std::string value;
};

TEST_F(ParseCommandLine, WordsNameOptionsByAbbreviation) {
  const StoredCase cases[] = {
      {{"-ad", "5"}, 0, "5"},
      {{"-admin_cred_refresh", "5"}, 0, "5"},
      {{"-audit_level", "all"}, 1, "all"},
      {{"-critical_cred_g", "grp"}, 10, "grp"},
      {{"-critical_cred_r", "9"}, 11, "9"},
      {{"-su", "o=x"}, 31, "o=x"},
      {{"-b", "main"}, 7, "main"},
      {{"-suffix", ""}, 31, ""},
  };
  for (const auto& c : cases) {
    record_ = {};
    vd_msgid_t status = 1;
    zarncfg_parse_command_line(command({c.words[0], c.words[1]}), config_option_def, record_, status);
    EXPECT_EQ(status, 0u) << c.words[0];
    EXPECT_EQ(record_[c.index].flags, CFG_CMDLINE | CFG_SET | CFG_HAS_VALUE) << c.words[0];
    EXPECT_EQ(record_[c.index].value, c.value) << c.words[0];
  }
  EXPECT_EQ(printed(), "");
}

struct ErrorCase {
  std::vector<std::string> words;
  unsigned message;
  std::string printed;
};

TEST_F(ParseCommandLine, ErrorsNameTheWordOrTheOption) {
  const ErrorCase cases[] = {
      {{"-a", "x"}, 1336, "ZRNCF1336E   The option -a is either an invalid option or is not unique. \n"},
      {{"-audit_log", "x"}, 1336, "ZRNCF1336E   The option -audit_log is either an invalid option or is not unique. \n"},
      {{"-critical_cred_", "x"}, 1336,
       "ZRNCF1336E   The option -critical_cred_ is either an invalid option or is not unique. \n"},
      {{"-Suffix", "x"}, 1336, "ZRNCF1336E   The option -Suffix is either an invalid option or is not unique. \n"},
      {{"-suffixes", "x"}, 1336, "ZRNCF1336E   The option -suffixes is either an invalid option or is not unique. \n"},
      {{"o=x"}, 1336, "ZRNCF1336E   The option o=x is either an invalid option or is not unique. \n"},
      {{""}, 1336, "ZRNCF1336E   The option  is either an invalid option or is not unique. \n"},
      {{"-suffix"}, 1332, "ZRNCF1332E   The option -suffix requires a value to be specified. \n"},
      {{"-su", "-branch", "b"}, 1332, "ZRNCF1332E   The option -suffix requires a value to be specified. \n"},
      {{"-su", "a", "-suffix", "b"}, 1333, "ZRNCF1333E   The option -suffix has been specified more than once. \n"},
  };
  for (const auto& c : cases) {
    record_ = {};
    vd_msgid_t status = 0;
    auto args = command({});
    args.insert(args.end(), c.words.begin(), c.words.end());
    zarncfg_parse_command_line(args, config_option_def, record_, status);
    EXPECT_EQ(status, msg_id(c.message)) << c.words[0];
    EXPECT_EQ(printed(), c.printed);
  }
  EXPECT_NE(log_text().find("ZRNCF1333E   The option -suffix has been specified more than once."), std::string::npos);
}

TEST_F(ParseCommandLine, ConfiguredBranchAndSuffixCannotChange) {
  record_[IDX_BRANCH] = {CFG_CURRENT, "b1"};
  record_[IDX_SUFFIX] = {CFG_CURRENT, "o=x"};
  EXPECT_EQ(parse({"-branch", "b1", "-suffix", "o=x"}), 0u);
  EXPECT_EQ(record_[IDX_BRANCH].flags, CFG_CURRENT | CFG_CMDLINE | CFG_SET | CFG_HAS_VALUE);

  record_ = {};
  record_[IDX_BRANCH] = {CFG_CURRENT, "b1"};
  EXPECT_EQ(parse({"-br", "b2"}), msg_id(1317));
  EXPECT_EQ(printed(),
            "ZRNCF1317E   The option -branch cannot be changed with a reconfiguration. \nIn order to change this value, "
            "unconfigure and then configure with the new value.\n");
  EXPECT_EQ(record_[IDX_BRANCH].value, "b1");

  // Only a value installed on this host is fixed.
  record_ = {};
  record_[IDX_SUFFIX] = {CFG_RSPFILE, "o=x"};
  EXPECT_EQ(parse({"-suffix", "o=y"}), 0u);
  EXPECT_EQ(record_[IDX_SUFFIX].value, "o=y");
}

TEST_F(ParseCommandLine, SummaryFlagsFollowTheSources) {
  record_[0] = {CFG_RSPFILE, "1"};
  record_[1] = {CFG_CURRENT, "all"};
  record_[2] = {CFG_SET | CFG_HAS_VALUE, "stale"};
  record_[IDX_AUTOSTART] = {CFG_SET | CFG_HAS_VALUE | CFG_DEFAULT | CFG_CURRENT, "off"};
  record_[IDX_CONFIG_STATE] = {CFG_CURRENT, "on"};
  record_[IDX_LDAP_SSL_ENABLED] = {CFG_SET | CFG_HAS_VALUE | CFG_DEFAULT, "yes"};
  EXPECT_EQ(parse({"-dns", "yes"}), 0u);
  EXPECT_EQ(record_[0].flags, CFG_RSPFILE | CFG_SET | CFG_HAS_VALUE);
  EXPECT_EQ(record_[1].flags, CFG_CURRENT | CFG_HAS_VALUE);
  EXPECT_EQ(record_[2].flags, 0u);
  EXPECT_EQ(record_[IDX_AUTOSTART].flags, 0x39u);
  EXPECT_EQ(record_[13].flags, CFG_CMDLINE | CFG_SET | CFG_HAS_VALUE);
  EXPECT_EQ(record_[IDX_CONFIG_STATE].flags, CFG_CURRENT);
  EXPECT_EQ(record_[IDX_LDAP_SSL_ENABLED].flags, 0x31u);
}

TEST_F(ParseCommandLine, AFailedParseLeavesTheSummaryAlone) {
  record_[0] = {CFG_RSPFILE, "1"};
  EXPECT_EQ(parse({"-dns", "yes", "-bogus"}), msg_id(1336));
  EXPECT_EQ(record_[0].flags, CFG_RSPFILE);
  EXPECT_EQ(record_[13].flags, CFG_CMDLINE);
}

TEST_F(ParseCommandLine, CommandLineValueReplacesTheResponseFile) {
  record_[IDX_SUFFIX] = {CFG_RSPFILE, "o=rsp"};
  EXPECT_EQ(parse({"-suffix", "o=cl"}), 0u);
  EXPECT_EQ(record_[IDX_SUFFIX].value, "o=cl");
  EXPECT_EQ(record_[IDX_SUFFIX].flags, CFG_RSPFILE | CFG_CMDLINE | CFG_SET | CFG_HAS_VALUE);
}

struct DeleteCase {
  std::string list;
  unsigned message;  // 0: success
  std::vector<int> deleted;
  std::string printed;
};

TEST_F(ParseCommandLine, DeleteLists) {
  const DeleteCase cases[] = {
      {"dns,uid", 0, {13, 37}, ""},
      {" dns ,\tuid ", 0, {13, 37}, ""},
      {"warning", 0, {42}, ""},
      {"suffix", 1308, {}, "ZRNCF1308E   Option suffix is required and its value cannot be deleted.\n\n"},
      {"dns,branch", 1308, {13}, "ZRNCF1308E   Option branch is required and its value cannot be deleted.\n\n"},
      {"DNS", 1309, {}, "ZRNCF1309E   The value for option DNS cannot be deleted.\n"},
      {"sec_master_pwd", 1309, {}, "ZRNCF1309E   The value for option sec_master_pwd cannot be deleted.\n"},
      {",", 1309, {}, "ZRNCF1309E   The value for option  cannot be deleted.\n"},
      {"dns,", 1309, {13}, "ZRNCF1309E   The value for option  cannot be deleted.\n"},
      {"",
       1341,
       {},
       "ZRNCF1341E   The -delete option requires a comma separated list. \n"
       "ZRNCF1361E   The option containing the value to be deleted could not be determined.\n"},
  };
  for (const auto& c : cases) {
    record_ = {};
    for (int index : {13, 37, 42}) record_[index] = {CFG_SET | CFG_CMDLINE | CFG_CURRENT | CFG_HAS_VALUE, "x"};
    vd_msgid_t status = 1;
    zarncfg_delete_cl_options(c.list, config_option_def, record_, ZARND_DELETE_ITEMS, zarncfg_required_options,
                              status);
    EXPECT_EQ(status, c.message ? msg_id(c.message) : 0u) << c.list;
    EXPECT_EQ(printed(), c.printed) << c.list;
    for (int index : {13, 37, 42}) {
      const bool deleted = std::find(c.deleted.begin(), c.deleted.end(), index) != c.deleted.end();
      EXPECT_EQ(record_[index].flags, deleted ? CFG_DELETED : 0x1Bu) << c.list << " " << index;
      EXPECT_EQ(record_[index].value, "x");
    }
  }
}

TEST_F(ParseCommandLine, DeletingKeepsTheDefaultBit) {
  record_[14] = {CFG_SET | CFG_HAS_VALUE | CFG_DEFAULT | CFG_CURRENT, "on"};
  vd_msgid_t status = 1;
  zarncfg_delete_cl_options("ffdc_capture", config_option_def, record_, ZARND_DELETE_ITEMS, zarncfg_required_options,
                            status);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(record_[14].flags, CFG_DEFAULT | CFG_DELETED);
  EXPECT_NE(log_text().find("Deleting option ffdc_capture. \n"), std::string::npos);
}

TEST_F(ParseCommandLine, DeleteRunsAfterTheWholeLine) {
  EXPECT_EQ(parse_all({"-delete", "dns,uid", "-dns", "yes"}), 0u);
  EXPECT_EQ(record_[13].flags, CFG_DELETED);
  EXPECT_EQ(record_[37].flags, CFG_DELETED);
  EXPECT_NE(log_text().find("Processing the -delete options.\n"), std::string::npos);
}

TEST_F(ParseCommandLine, DeleteFromTheResponseFileIsApplied) {
  record_[IDX_DELETE] = {CFG_RSPFILE, "uid"};
  record_[37] = {CFG_CURRENT, "yes"};
  EXPECT_EQ(parse_all({"-suffix", "o=x"}), 0u);
  EXPECT_EQ(record_[37].flags, CFG_DELETED);
}

TEST_F(ParseCommandLine, DeleteIndexMinusOneSwitchesDeletingOff) {
  EXPECT_EQ(parse_all({"-delete", "suffix", "-dns", "yes"}, -1), 0u);
  EXPECT_EQ(record_[13].flags, CFG_CMDLINE | CFG_SET | CFG_HAS_VALUE);
  EXPECT_EQ(printed(), "");
}

TEST_F(ParseCommandLine, DeleteErrorStopsThePass) {
  EXPECT_EQ(parse_all({"-delete", "suffix"}), msg_id(1308));
  const std::string log = log_text();
  EXPECT_NE(log.find(" ERROR "), std::string::npos) << log;
  EXPECT_NE(log.find("ZRNCF1308E   Option suffix is required"), std::string::npos) << log;
}

struct EchoCase {
  std::vector<std::string> words;
  std::string logged;
};

TEST_F(ParseCommandLine, EchoedCommandLineHidesThePassword) {
  const EchoCase cases[] = {
      {{"-sec_master_pwd", "S3cr3t-Pw", "-su", "o=x"}, "zarncfg -sec_master_pwd ******** -su o=x \n "},
      {{"-SEC_MASTER_PWD", "S3cr3t-Pw"}, "zarncfg -SEC_MASTER_PWD ******** \n "},
      {{"-Sec_Master_Pwd", "S3cr3t-Pw"}, "zarncfg -Sec_Master_Pwd ******** \n "},
      {{"-sec", "S3cr3t-Pw"}, "zarncfg -sec ******** \n "},
      {{"-se", "S3cr3t-Pw"}, "zarncfg -se ******** \n "},
      {{"-SEC_M", "S3cr3t-Pw"}, "zarncfg -SEC_M ******** \n "},
      {{"-sec_master_pwd", "-S3cr3t-Pw"}, "zarncfg -sec_master_pwd ******** \n "},
      {{"-s", "visible"}, "zarncfg -s visible \n "},
      {{"-sec_master_pwdx", "visible"}, "zarncfg -sec_master_pwdx visible \n "},
      {{"-su", "o=x", "-sec_master_pwd"}, "zarncfg -su o=x -sec_master_pwd \n "},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(log_path());
    auto args = command({});
    args.insert(args.end(), c.words.begin(), c.words.end());
    vd_msgid_t status = 1;
    zarncfg_log_command_line(args, status);
    EXPECT_EQ(status, 0u);
    const std::string log = log_text();
    EXPECT_NE(log.find("Following is the command line: \n"), std::string::npos) << log;
    EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    EXPECT_EQ(log.find("S3cr3t"), std::string::npos) << log;
  }
  EXPECT_EQ(printed(), "");
}

}  // namespace
