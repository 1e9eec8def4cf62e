#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zarncfg_parse_rspfile.h"

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

}  // namespace
