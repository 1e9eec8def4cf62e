#include <gtest/gtest.h>

#include <string>

#include "zarncfg_kxcommon.h"
#include "zarncfg_kxcommon_fixture.h"
#include "zarncfg_strings.h"

namespace {

TEST(KxCleanLine, CommentsAndWhiteSpace) {
  const std::pair<std::string, std::string> cases[] = {
      {"acl create a # trailing comment", "acl create a"},
      {"# whole line", ""},
      {"   \t  ", ""},
      {"", ""},
      {"\tacl  create\t\ta  ", "acl create a"},
      {"object create /o \"a # b\" 0 x y", "object create /o \"a"},
      {"acl create a\r", "acl create a"},
      {"acl create a#b", "acl create a"},
  };
  for (const auto& [raw, cleaned] : cases) EXPECT_EQ(zarncfg_kxadmin_clean_line(raw), cleaned) << raw;
}

struct ParseCase {
  std::string line;
  int result;
  int index;
};

TEST(KxParse, CommandWordsAndFieldCounts) {
  const ParseCase cases[] = {
      {"object create /o d 0 x y", 0, 0},
      {"object create /o d 0 x", 1, -1},  // fields 5 and 6 must be there
      {"acl attach /o a", 0, 1},
      {"acl create a", 0, 2},
      {"acl create", 1, -1},
      {"acl modify a set any-other ", 0, 3},  // an empty sixth field counts
      {"acl modify a set any-other", 1, -1},
      {"action create r read file", 0, 4},
      {"group create g dn cn", 0, 5},
      {"group modify g add u", 0, 6},
      {"objectspace create /S d 0", 0, 7},
      {"user create u dn cn sn pw", 0, 8},
      {"user modify u account-valid yes", 0, 9},
      {"action group create ag", 0, 10},
      {"ACL create a", 1, -1},
      {"acl Create a", 1, -1},
      {"acl", 1, -1},
      {"acl_create a b", 1, -1},
      {"acl create a extra words are ignored", 0, 2},
      {"acl delete a", 1, -1},
  };
  for (const auto& c : cases) {
    AdminCommand cmd;
    EXPECT_EQ(zarncfg_parse_kxadmin(cmd, c.line, "f"), c.result) << c.line;
    EXPECT_EQ(cmd.index, c.index) << c.line;
  }
}

TEST(KxParse, KeepsQuotedBlanksInOneField) {
  std::string line = "object create /o \"two words\" 0 x y";
  ASSERT_EQ(zarncfg_quotes_to_word(line), 1);
  AdminCommand cmd;
  ASSERT_EQ(zarncfg_parse_kxadmin(cmd, line, "f"), 0);
  EXPECT_EQ(cmd.command, "object_create");
  EXPECT_EQ(cmd.field_count, 7);
  EXPECT_EQ(zarncfg_get_field(cmd.fields, 3).value(), "two words");
}

class KxPlaceholders : public KxStoreTest {};

TEST_F(KxPlaceholders, OptionValuesAndPasswords) {
  std::string line = "x %POLICY% %SUFFIX% %BREVIKADMINSUFFIX% %RANDOM% %RANDOM% %RANDOM1% %POLICY%";
  vd_msgid_t status = 0;
  zarncfg_kxadmin_replace_string(line, record_, "zarncfg", status);
  EXPECT_EQ(status, 0u);
  // Each password placeholder is one call of the generator per line.
  EXPECT_EQ(line, "x b1 o=zarn,c=us o=zarn,c=us Pw-1-x9Q Pw-1-x9Q Pw-2-x9Q b1");
}

TEST_F(KxPlaceholders, PasswordsNeverReachTheLog) {
  std::string line = "user create u %POLICY% %RANDOM% %RANDOM1% %VDUSERNAME%";
  on_store([](kx::Store& s) { return s.user_create({.name = "zarnd/nohost", .dn = "d", .cn = "c", .sn = "s", .password = "p"}, {}); });
  vd_msgid_t status = 0;
  zarncfg_kxadmin_replace_string(line, record_, "zarncfg", status);
  // No user for this host: the look-up fails after the passwords were made.
  EXPECT_EQ(status, msg_id(1387));
  std::string line2 = "user create u %RANDOM% %RANDOM1% %POLICY%";
  status = 0;
  zarncfg_kxadmin_replace_string(line2, record_, "zarncfg", status);
  EXPECT_EQ(line2, "user create u Pw-3-x9Q Pw-4-x9Q b1");
  EXPECT_EQ(log_text().find("Pw-"), std::string::npos);
}

TEST_F(KxPlaceholders, MachineUserIsTheFirstMatch) {
  std::array<char, 256> host{};
  ASSERT_EQ(gethostname(host.data(), host.size() - 1), 0);
  const std::string name = std::string("zarnd/") + host.data();
  on_store([&](kx::Store& s) {
    kx::Outcome r = s.user_create({.name = name + "-b", .dn = "d", .cn = "c", .sn = "s", .password = "p"}, {});
    if (r.ok()) r = s.user_create({.name = name + "-a", .dn = "d", .cn = "c", .sn = "s", .password = "p"}, {});
    return r;
  });
  std::string line = "group modify g add %VDUSERNAME%";
  vd_msgid_t status = 0;
  zarncfg_kxadmin_replace_string(line, record_, "zarncfg", status);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(line, "group modify g add " + name + "-a");
}

TEST_F(KxPlaceholders, NoContextMeansNoMachineUser) {
  ctx.reset();
  std::string line = "x %VDUSERNAME%";
  vd_msgid_t status = 0;
  testing::internal::CaptureStdout();
  zarncfg_kxadmin_replace_string(line, record_, "zarncfg", status);
  EXPECT_EQ(stdout_text(), "");
  EXPECT_EQ(status, msg_id(1387));
}

TEST(KxPlaceholderPasswords, RealGeneratorDiffersPerPlaceholder) {
  std::string line = "%RANDOM% %RANDOM% %RANDOM1%";
  ConfigRecord record{};
  vd_msgid_t status = 0;
  zarncfg_kxadmin_replace_string(line, record, "zarncfg", status);
  int count = 0;
  const auto words = zarncfg_strg_parser(line, count, ' ');
  ASSERT_EQ(count, 3);
  EXPECT_EQ((*words)[0], (*words)[1]);
  EXPECT_NE((*words)[0], (*words)[2]);
}

class KxFileLines : public KxStoreTest {
 protected:
  std::string run_file(const std::string& content, vd_msgid_t& status) {
    const std::string path = write_file("commands", content);
    status = 0;
    testing::internal::CaptureStdout();
    zarncfg_process_kxadmin_file(path, record_, "zarncfg", status);
    return stdout_text();
  }
};

TEST_F(KxFileLines, CommentsAndBlankLinesOnly) {
  vd_msgid_t status = 1;
  EXPECT_EQ(run_file("# nothing\n\n   \n\t# indented\n", status), "\n");
  EXPECT_EQ(status, 0u);
}

TEST_F(KxFileLines, ACommentInsideQuotesUnpairsThem) {
  vd_msgid_t status = 0;
  const std::string path = dir_ + "/commands";
  const std::string out = run_file("acl create a\nobject create /o \"a # b\" 0 x y\n", status);
  EXPECT_EQ(out, ".ZRNCF1319E   The quotation marks in object create /o \"a are mismatched.\n"
                 "ZRNCF1354E   The line object create /o \"a in file " + path + " is invalid. \n");
  EXPECT_EQ(status, msg_id(1354));
  EXPECT_EQ(zarncfg_kxadmin_undo_depth(), 1u);
}

TEST_F(KxFileLines, UnknownOrShortCommandsStopTheFile) {
  const std::string path = dir_ + "/commands";
  for (const std::string line : {"Acl create a", "acl create", "acl remove a", "group modify g add"}) {
    vd_msgid_t status = 0;
    const std::string out = run_file(line + "\nacl create z\n", status);
    EXPECT_EQ(out, "ZRNCF1354E   The line " + line + " in file " + path + " is invalid. \n");
    EXPECT_EQ(status, msg_id(1354));
  }
  EXPECT_EQ(zarncfg_kxadmin_undo_depth(), 0u);
}

TEST_F(KxFileLines, LinesBeyondTheLimitAreRejected) {
  const std::string fits = "acl create " + std::string(KXADMIN_MAX_LINE - 11, 'a');
  vd_msgid_t status = 0;
  EXPECT_EQ(run_file(fits + "\n", status), ".\n");
  EXPECT_EQ(status, 0u);
  const std::string too_long = "#" + std::string(KXADMIN_MAX_LINE, 'b');
  EXPECT_NE(run_file(too_long + "\n", status).find("ZRNCF1354E"), std::string::npos);
  EXPECT_EQ(status, msg_id(1354));
}

TEST_F(KxFileLines, ErrorsQuoteTheLineBeforeItsPasswords) {
  vd_msgid_t status = 0;
  const std::string out = run_file("user make u %RANDOM%\n", status);
  EXPECT_NE(out.find("The line user make u %RANDOM% in file"), std::string::npos);
  EXPECT_EQ(out.find("Pw-"), std::string::npos);
}

TEST_F(KxFileLines, MissingFile) {
  vd_msgid_t status = 0;
  testing::internal::CaptureStdout();
  zarncfg_process_kxadmin_file(dir_ + "/absent", record_, "zarncfg", status);
  EXPECT_EQ(stdout_text(), "ZRNCF1340E   File " + dir_ + "/absent could not be opened.\n");
  EXPECT_EQ(status, msg_id(1340));
}

TEST_F(KxFileLines, AConfiguredHostOpensNothing) {
  record_[IDX_CONFIG_STATE].flags = CFG_CURRENT | CFG_SET;
  record_[IDX_CONFIG_STATE].value = "on";
  vd_msgid_t status = 0;
  testing::internal::CaptureStdout();
  zarncfg_process_kxadmin_file(BREVIK_ONCE_ONLY, record_, "zarncfg", status);
  EXPECT_EQ(stdout_text(), "");
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(log_lines("The configuration process has been run previously.").size(), 1u);
}

}  // namespace

namespace {

TEST(KxDecimal, ReadsAsACDecimalConversion) {
  const struct {
    std::string_view text;
    int value;
  } cases[] = {
      {"14", 14},   {"+14", 14},  {" 7", 7},     {"\t\n\v\f\r9", 9}, {"-3", -3},    {"007", 7},
      {"12abc", 12}, {"abc", 0},  {"", 0},       {"+", 0},           {"- 5", 0},    {"0x10", 0},
      {"1 2", 1},   {"--1", 0},   {"2147483647", 2147483647},        {"2147483648", 2147483647},
      {"99999999999999999999", 2147483647},      {"-2147483648", -2147483647 - 1},
      {"-99999999999", -2147483647 - 1},
  };
  for (const auto& c : cases) EXPECT_EQ(zarncfg_kxadmin_decimal(c.text), c.value) << '"' << c.text << '"';
}

}  // namespace
