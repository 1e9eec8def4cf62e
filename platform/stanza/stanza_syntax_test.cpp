#include "stanza_syntax.h"

#include <gtest/gtest.h>

namespace stz {
namespace {

using namespace std::literals;

struct LineCase {
  std::string text;
  LineKind kind;
  std::string name;
  std::optional<std::string> value;
};

TEST(StzSyntax, ReadsEachKindOfLine) {
  const LineCase cases[] = {
      {"", LineKind::Blank, "", std::nullopt},
      {" \t ", LineKind::Blank, "", std::nullopt},
      {"  # a = b", LineKind::Comment, "", std::nullopt},
      {"[ssl]", LineKind::Header, "ssl", std::nullopt},
      {" [ two words ]\t", LineKind::Header, "two words", std::nullopt},
      {"[a[b]", LineKind::Header, "a[b", std::nullopt},
      {"flag", LineKind::Entry, "flag", std::nullopt},
      {"  spaced name  ", LineKind::Entry, "spaced name", std::nullopt},
      {"name =", LineKind::Entry, "name", ""},
      {"name =  \t", LineKind::Entry, "name", ""},
      {"name=value", LineKind::Entry, "name", "value"},
      {"\tname \t= \tsome value \t", LineKind::Entry, "name", "some value"},
      {"name = a # not a comment", LineKind::Entry, "name", "a # not a comment"},
      {"a = b = c", LineKind::Entry, "a", "b = c"},
      {"name = x\"y\"", LineKind::Entry, "name", "x\"y\""},
      {"name = \"\"", LineKind::Entry, "name", ""},
      {"name = \"  padded  \"  ", LineKind::Entry, "name", "  padded  "},
      {R"(name = "q\"b\\s")", LineKind::Entry, "name", R"(q"b\s)"},
      {R"(name = "c:\dir\n")", LineKind::Entry, "name", R"(c:\dir\n)"},
      {"n\xc3\xa9 = \xff\xfe", LineKind::Entry, "n\xc3\xa9", "\xff\xfe"},
      {"nul = a\0b"s, LineKind::Entry, "nul", "a\0b"s},
  };
  for (const auto& c : cases) {
    auto parsed = parseLine(c.text);
    LineKind checked = LineKind::Blank;
    EXPECT_EQ(checkLine(c.text, checked), std::nullopt) << c.text;
    EXPECT_EQ(checked, c.kind) << c.text;
    ASSERT_TRUE(std::holds_alternative<ParsedLine>(parsed)) << c.text;
    const auto& line = std::get<ParsedLine>(parsed);
    EXPECT_EQ(line.kind, c.kind) << c.text;
    EXPECT_EQ(line.name, c.name) << c.text;
    EXPECT_EQ(line.value, c.value) << c.text;
  }
}

TEST(StzSyntax, RefusesMalformedLines) {
  const std::pair<std::string, SyntaxFault> cases[] = {
      {"[ssl", SyntaxFault::MissingBracket},       {"[]", SyntaxFault::EmptyStanzaName},
      {"[ \t ]", SyntaxFault::EmptyStanzaName},    {"[ssl] # c", SyntaxFault::JunkAfterHeader},
      {"[a]b]", SyntaxFault::JunkAfterHeader},     {"n = \"abc", SyntaxFault::UnterminatedQuote},
      {R"(n = "ab\")", SyntaxFault::UnterminatedQuote}, {"n = \"a\" b", SyntaxFault::JunkAfterQuote},
      {"= v", SyntaxFault::EmptyEntryName},        {"  =", SyntaxFault::EmptyEntryName},
  };
  for (const auto& [text, fault] : cases) {
    auto parsed = parseLine(text);
    LineKind kind = LineKind::Blank;
    EXPECT_EQ(checkLine(text, kind), fault) << text;
    ASSERT_TRUE(std::holds_alternative<SyntaxFault>(parsed)) << text;
    EXPECT_EQ(std::get<SyntaxFault>(parsed), fault) << text;
  }
}

TEST(StzSyntax, WrittenValuesReadBackUnchanged) {
  const std::string values[] = {"",      "plain", " lead", "trail ", "\ttab\t", "\"quoted\"", "end\"",
                                "a\\b",  "\\",    "\\\"",  "#hash",  "a # b",  "=",          "[x",
                                "x\r",   "a\rb",  "\xff\xfe\x80", "mix \"\\ \""};
  for (const auto& value : values) {
    auto parsed = parseLine(formatEntryLine("n", value));
    ASSERT_TRUE(std::holds_alternative<ParsedLine>(parsed)) << value;
    EXPECT_EQ(std::get<ParsedLine>(parsed).value, value) << formatEntryLine("n", value);
  }
  EXPECT_EQ(encodeValue("plain value"), "plain value");
  EXPECT_EQ(encodeValue(""), "\"\"");
  EXPECT_EQ(encodeValue(" a\"b\\"), R"(" a\"b\\")");
}

TEST(StzSyntax, JudgesWhichNamesAndValuesCanBeWritten) {
  const std::string_view good_entries[] = {"name", "a[b", "a]b", "a#b", "two words", "\"q\"", "\xc3\xa9"};
  const std::string_view bad_entries[] = {"", "a=b", "[a", "#a", " a", "a\t", "a\nb", "a\r", "a\0b"sv};
  const std::string_view good_stanzas[] = {"ssl", "a[b", "two words", "a=b", "#x"};
  const std::string_view bad_stanzas[] = {"", "a]b", " a", "a ", "a\nb", "a\0"sv};
  for (auto name : good_entries) EXPECT_TRUE(isWritableEntryName(name)) << name;
  for (auto name : bad_entries) EXPECT_FALSE(isWritableEntryName(name)) << name;
  for (auto name : good_stanzas) EXPECT_TRUE(isWritableStanzaName(name)) << name;
  for (auto name : bad_stanzas) EXPECT_FALSE(isWritableStanzaName(name)) << name;
  EXPECT_FALSE(isWritableValue("a\nb"));
  EXPECT_FALSE(isWritableValue("a\0b"sv));
}

TEST(StzSyntax, RewriteKeepsTheLinesOwnSpacing) {
  const struct {
    std::string before;
    std::optional<std::string> value;
    std::string after;
  } cases[] = {
      {"  name\t=\told value", "new", "  name\t=\tnew"}, {"name=old", "new", "name=new"},
      {"name = \"old\"", " new", "name = \" new\""},     {"  name", "v", "  name = v"},
      {"name =", "v", "name = v"},                       {"  name  = old", std::nullopt, "  name"},
  };
  for (const auto& c : cases) {
    auto parsed = std::get<ParsedLine>(parseLine(c.before));
    std::optional<std::string_view> value;
    if (c.value) value = *c.value;
    EXPECT_EQ(rewriteEntryLine(c.before, parsed, value), c.after);
  }
}

}  // namespace
}  // namespace stz
