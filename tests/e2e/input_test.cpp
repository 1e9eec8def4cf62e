// The three input passes end to end: the current configuration files, the
// response file and the command line, as a run on a simulated host shows
// them in its output, its exit status and its log.
#include <string>
#include <vector>

#include "e2e/config_fixture.h"

namespace {

using e2e::HostTest;
using e2e::kCommandLineLine;
using e2e::kFailed;
using e2e::kGatheringHead;
using e2e::kResponseFileLine;
using e2e::kValidatingLine;

constexpr const char* kZarndConf = "[zarncfg]\nsuffix = o=x\nstate = on\n";
constexpr const char* kBrevikConf = "[policy]\nbranch = b1\n";

std::string cannot_change(const std::string& name) {
  return "ZRNCF1317E   The option " + name +
         " cannot be changed with a reconfiguration. \nIn order to change this value, unconfigure and then configure "
         "with the new value.\n";
}

class InputTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    write_file("/opt/Varden/.configure/VDRTE-VD", "");
  }
  void configure_host() {
    write_file("/opt/zarn/etc/zarnd.conf", kZarndConf);
    write_file("/opt/zarn/etc/brevik.conf", kBrevikConf);
  }
};

TEST_F(InputTest, RelativeResponseFileIsFoundInTheStartDirectory) {
  configure_host();
  write_file("/home/admin/config.rsp", "[zarncfg]\nsuffix = o=other\n");
  const auto result = zarncfg({"-rs", "config.rsp"}, e2e::in_dir("/home/admin"));
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.out, kGatheringHead + kResponseFileLine + cannot_change("suffix") + kFailed)
      << e2e::describe(result);

  write_file("/home/admin/config.rsp", "[zarncfg]\nsuffix = o=x\n");
  const auto accepted = zarncfg({"-rs", "config.rsp"}, e2e::in_dir("/home/admin"));
  EXPECT_TRUE(accepted.out.starts_with(kGatheringHead + kResponseFileLine + kCommandLineLine +
                                       kValidatingLine))
      << e2e::describe(accepted);
}

TEST_F(InputTest, ResponseFileErrors) {
  const auto missing = zarncfg({"-rspfile", "nowhere.rsp"}, e2e::in_dir("/opt/zarn"));
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_EQ(missing.out, kGatheringHead + kResponseFileLine +
                             "ZRNCF1340E   File nowhere.rsp could not be opened.\n" + kFailed);
  const auto no_value = zarncfg({"-rspfile", "-suffix", "o=x"});
  EXPECT_EQ(no_value.exit_status, 1);
  EXPECT_EQ(no_value.out,
            kGatheringHead + "ZRNCF1332E   The option -rspfile requires a value to be specified. \n" + kFailed);
}

TEST_F(InputTest, ConfiguredBranchAndSuffixCannotChange) {
  configure_host();
  struct Case {
    std::vector<std::string> args;
    std::string refused;
  };
  const Case cases[] = {{{"-branch", "b2"}, "-branch"}, {{"-su", "o=y", "-branch", "b1"}, "-suffix"}};
  for (const auto& c : cases) {
    const auto result = zarncfg(c.args);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, kGatheringHead + kCommandLineLine + cannot_change(c.refused) + kFailed)
        << e2e::describe(result);
  }
  // Refused runs leave the files as they were.
  EXPECT_EQ(read_file("/opt/zarn/etc/zarnd.conf"), kZarndConf);
  EXPECT_EQ(read_file("/opt/zarn/etc/brevik.conf"), kBrevikConf);
  const auto same = zarncfg({"-branch", "b1", "-suffix", "o=x"});
  EXPECT_TRUE(same.out.starts_with(kGatheringHead + kCommandLineLine + kValidatingLine)) << e2e::describe(same);
}

TEST_F(InputTest, EntryInTwoConfigurationFilesIsRefused) {
  write_file("/opt/zarn/etc/zarnd.conf", kZarndConf);
  write_file("/opt/zarn/etc/zarnevcd.conf", "[zarncfg]\nsuffix = o=x\n");
  const auto result = zarncfg({"-branch", "b1"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.out,
            kGatheringHead + "ZRNCF1333E   The option suffix has been specified more than once. \n" + kFailed);
}

TEST_F(InputTest, DeleteErrors) {
  struct Case {
    std::string list;
    std::string printed;
  };
  const Case cases[] = {
      {"suffix", "ZRNCF1308E   Option suffix is required and its value cannot be deleted.\n\n"},
      {"DNS", "ZRNCF1309E   The value for option DNS cannot be deleted.\n"},
      {"dns,", "ZRNCF1309E   The value for option  cannot be deleted.\n"},
      {",", "ZRNCF1309E   The value for option  cannot be deleted.\n"},
      {"",
       "ZRNCF1341E   The -delete option requires a comma separated list. \n"
       "ZRNCF1361E   The option containing the value to be deleted could not be determined.\n"},
  };
  for (const auto& c : cases) {
    const auto result = zarncfg({"-branch", "b", "-delete", c.list});
    EXPECT_EQ(result.exit_status, 1) << c.list;
    EXPECT_EQ(result.out, kGatheringHead + kCommandLineLine + c.printed + kFailed) << c.list;
  }
  const auto accepted = zarncfg({"-branch", "b", "-delete", "dns,uid"});
  EXPECT_TRUE(accepted.out.starts_with(kGatheringHead + kCommandLineLine + kValidatingLine))
      << e2e::describe(accepted);
  EXPECT_NE(log_text().find("Deleting option uid. \n"), std::string::npos);
}

TEST_F(InputTest, LogEchoesTheCommandLineWithoutThePassword) {
  zarncfg({"-sec_master_pwd", "S3cr3t-Pw", "-suffix", "o=x", "-branch", "b"});
  std::string log = log_text();
  EXPECT_NE(log.find("Following is the command line: \n/opt/zarn/bin/zarncfg -sec_master_pwd ******** -suffix o=x "
                     "-branch b \n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("S3cr3t"), std::string::npos) << log;

  for (const char* option : {"-SEC_MASTER_PWD", "-sec"}) {
    const auto result = zarncfg({option, "S3cr3t-Pw"});
    EXPECT_EQ(result.out.find("S3cr3t"), std::string::npos) << result.out;
    log = log_text();
    EXPECT_NE(log.find(std::string("/opt/zarn/bin/zarncfg ") + option + " ******** \n"), std::string::npos) << log;
    EXPECT_EQ(log.find("S3cr3t"), std::string::npos) << log;
  }
}

}  // namespace
