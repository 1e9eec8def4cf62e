#include <gtest/gtest.h>

#include <string>

#include "zarncfg_strings.h"

namespace {

TEST(Strings, IsEmptyCountsOnlyBlanks) {
  EXPECT_EQ(zarncfg_is_empty(std::optional<std::string>()), 1);
  EXPECT_EQ(zarncfg_is_empty(""), 1);
  EXPECT_EQ(zarncfg_is_empty("   "), 1);
  EXPECT_EQ(zarncfg_is_empty("\t"), 0);
  EXPECT_EQ(zarncfg_is_empty(" x "), 0);
}

TEST(Strings, ParserKeepsEmptyItems) {
  struct Case {
    std::string text;
    std::vector<std::string> items;
  };
  const Case cases[] = {
      {"a,,b", {"a", "", "b"}}, {"a,", {"a", ""}}, {",", {"", ""}}, {"abc", {"abc"}}, {",a", {"", "a"}},
  };
  for (const auto& c : cases) {
    int count = -1;
    const auto items = zarncfg_strg_parser(c.text, count, ',');
    ASSERT_TRUE(items.has_value()) << c.text;
    EXPECT_EQ(*items, c.items) << c.text;
    EXPECT_EQ(count, static_cast<int>(c.items.size()));
  }
  int count = -1;
  EXPECT_FALSE(zarncfg_strg_parser("", count, ',').has_value());
  EXPECT_EQ(count, 0);
}

TEST(Strings, TrimAndLower) {
  std::string text = " \t\n x y \r\v\f";
  EXPECT_EQ(zarncfg_trim(text), "x y");
  text = " \t ";
  EXPECT_EQ(zarncfg_trim(text), "");
  text = "Permit,DENY";
  EXPECT_EQ(zarncfg_strlwr(text), "permit,deny");
}

TEST(Strings, FilterFoldsWhiteSpace) {
  std::string line = "  acl\tcreate  brevik-admin   ";
  zarncfg_filter_double_spaces_and_trim(line);
  EXPECT_EQ(line, "acl create brevik-admin");
}

TEST(Strings, QuotedPhraseBecomesOneField) {
  std::string line = "object create /BREVIK \"Zarn product\" 0 x y";
  ASSERT_EQ(zarncfg_quotes_to_word(line), 1);
  int count = 0;
  const auto items = zarncfg_strg_parser(line, count, ' ');
  ASSERT_TRUE(items);
  ASSERT_EQ(count, 7);
  EXPECT_EQ(zarncfg_get_field(*items, 3).value(), "Zarn product");
  EXPECT_FALSE(zarncfg_get_field(*items, 7).has_value());
}

TEST(Strings, UnpairedQuotesLeaveTheLine) {
  std::string line = "a \"b\" \"c";
  EXPECT_EQ(zarncfg_quotes_to_word(line), 0);
  EXPECT_EQ(line, "a \"b\" \"c");
}

TEST(Strings, EmptyQuotesLeaveAnEmptyField) {
  std::string line = "acl modify x set any-other \"\" end";
  ASSERT_EQ(zarncfg_quotes_to_word(line), 1);
  int count = 0;
  const auto items = zarncfg_strg_parser(line, count, ' ');
  ASSERT_EQ(count, 7);
  EXPECT_FALSE(zarncfg_get_field(*items, 5).has_value());
}

TEST(Strings, GetBool) {
  for (const char* on : {"Yes", "Y", "TRUE", "on", "t"}) {
    std::string text = on;
    EXPECT_EQ(zarncfg_get_bool(text), "on") << on;
  }
  for (const char* off : {"1", "no", "maybe", "   ", ""}) {
    std::string text = off;
    EXPECT_EQ(zarncfg_get_bool(text), "off") << off;
  }
}

TEST(Strings, SubstituteReplacesEveryOccurrenceOnce) {
  struct Case {
    std::string text, pattern, replacement, want;
  };
  const Case cases[] = {
      {"%P% and %P%", "%P%", "x", "x and x"},
      {"abc", "", "zz", "abc"},
      {"a%X%b", "%X%", "%X%%X%", "a%X%%X%b"},
      {"%RANDOM%1%", "%RANDOM%", "pw", "pw1%"},
      {"none here", "%Y%", "q", "none here"},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    vd_msgid_t status = 0;
    zarncfg_substitute_string(text, c.pattern, c.replacement, status);
    EXPECT_EQ(text, c.want);
    EXPECT_EQ(status, 0u);
  }
}

TEST(Strings, ShellWordQuotesOnlyWhenNeeded) {
  EXPECT_EQ(zarncfg_shell_word("/var/zarn/certs/ca.b64"), "/var/zarn/certs/ca.b64");
  EXPECT_EQ(zarncfg_shell_word("o=varden,c=us"), "o=varden,c=us");
  EXPECT_EQ(zarncfg_shell_word(""), "''");
  EXPECT_EQ(zarncfg_shell_word("a b"), "'a b'");
  EXPECT_EQ(zarncfg_shell_word("it's"), "'it'\\''s'");
  EXPECT_EQ(zarncfg_shell_word("$(reboot)"), "'$(reboot)'");
}

}  // namespace
