#include "stanza_error.h"

#include <gtest/gtest.h>

#include "stanza_file.h"

namespace stz {
namespace {

bool startsInsideUtf8Sequence(std::string_view text) {
  return !text.empty() && (static_cast<unsigned char>(text.front()) & 0xC0) == 0x80;
}

TEST(StzError, LongPathLosesItsStartAndKeepsTheReason) {
  std::string path = "/";
  for (int i = 0; i < 100; ++i) path += "\xc3\xa9";  // two bytes each
  const std::string text = fitOneLine(path, ":7: unterminated quote");
  EXPECT_LE(text.size(), kMaxErrorText);
  EXPECT_TRUE(text.starts_with("..."));
  EXPECT_TRUE(text.ends_with("\xc3\xa9:7: unterminated quote"));
  EXPECT_FALSE(startsInsideUtf8Sequence(text.substr(3)));
}

TEST(StzError, HugeTextIsCutAtACharacterBoundary) {
  std::string detail = ": ";
  for (int i = 0; i < 100; ++i) detail += "\xe2\x82\xac";  // three bytes each
  const std::string text = fitOneLine("/p", detail);
  EXPECT_LE(text.size(), kMaxErrorText);
  EXPECT_EQ((text.size() - 4) % 3, 0u);
}

TEST(StzError, TextStaysOnOneLine) {
  EXPECT_EQ(fitOneLine("/a\nb", ": x\ty\x7f"), "/a?b: x?y?");
  EXPECT_EQ(quoteName(std::string(60, 'n')), "\"" + std::string(48, 'n') + "...\"");
}

TEST(StzError, CodesWithoutAFailureStillHaveAText) {
  EXPECT_EQ(stzErrorText(0), "no error");
  EXPECT_EQ(stzErrorText(0x1D5A00FF), "unknown stanza file library code 0x1d5a00ff");
  EXPECT_FALSE(stzErrorText(STZ_E_READ_ONLY).empty());
}

}  // namespace
}  // namespace stz
