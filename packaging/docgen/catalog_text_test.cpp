#include "catalog_text.h"

#include <gtest/gtest.h>

#include <set>

namespace docgen {
namespace {

TEST(CatalogText, FindsMessagesByNumberAndRefusesUnknownOnes) {
  EXPECT_EQ(catalog_text(13), "\n");
  EXPECT_EQ(catalog_text(132), "\tDisk hold time of credentials in minutes. \n");
  EXPECT_THROW(catalog_text(2), std::out_of_range);
}

TEST(CatalogText, ListsEveryCodedMessageOnceWithItsSentence) {
  const auto messages = coded_messages();
  ASSERT_EQ(messages.size(), 149u);
  std::set<std::string> codes;
  int errors = 0, warnings = 0, notes = 0;
  for (const CodedMessage& message : messages) {
    codes.insert(message.code);
    errors += message.code.back() == 'E';
    warnings += message.code.back() == 'W';
    notes += message.code.back() == 'I';
  }
  EXPECT_EQ(codes.size(), 149u);
  EXPECT_EQ(errors, 128);
  EXPECT_EQ(warnings, 15);
  EXPECT_EQ(notes, 6);
  EXPECT_EQ(messages.front().code, "ZRNCF0007E");
  EXPECT_EQ(messages.back().code, "ZRNCF2862I");
  const auto root =
      std::find_if(messages.begin(), messages.end(), [](const CodedMessage& m) { return m.code == "ZRNCF1338E"; });
  ASSERT_NE(root, messages.end());
  EXPECT_EQ(root->text, "This command must be run by the root user. \n");
}

TEST(CatalogText, OneLineFoldsTabsAndLineBreaks) {
  EXPECT_EQ(one_line("\tNumber of ZARND log entries prior to rolling over \n\tto a new log.\n"),
            "Number of ZARND log entries prior to rolling over to a new log.");
  EXPECT_EQ(one_line(""), "");
  EXPECT_EQ(one_line(" \n\t"), "");
}

}  // namespace
}  // namespace docgen
