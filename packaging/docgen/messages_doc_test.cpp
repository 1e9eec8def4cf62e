#include "messages_doc.h"

#include <gtest/gtest.h>

#include "text_file.h"

namespace docgen {
namespace {

const std::string kSource =
    "# Title\nediting notes\n---\nIntro line.\n\n"
    "## ZRNCF1338E\n**When it appears.** Not root.\n\n**What to do.** Use sudo.\n\n"
    "## ZRNCF1301E\n**When it appears.** Bad number.\n";

TEST(MessagesDoc, ParsesIntroAndOneExplanationPerHeading) {
  const Explanations e = parse_explanations(kSource);
  EXPECT_EQ(e.intro, "Intro line.");
  ASSERT_EQ(e.by_code.size(), 2u);
  EXPECT_EQ(e.by_code.at("ZRNCF1338E"), "**When it appears.** Not root.\n\n**What to do.** Use sudo.");
}

TEST(MessagesDoc, NamesCodesWithoutExplanationIncompleteOnesAndStrangers) {
  const Explanations e = parse_explanations(kSource + "## ZRNCF9999E\n**When it appears.** x **What to do.** y\n");
  const std::vector<CodedMessage> messages = {{"ZRNCF1338E", "root"}, {"ZRNCF1301E", "n"}, {"ZRNCF1302E", "h"}};
  EXPECT_EQ(
      explanation_problems(messages, e),
      (std::vector<std::string>{"ZRNCF1301E lacks \"**When it appears.**\" or \"**What to do.**\"",
                                "ZRNCF1302E has no explanation", "ZRNCF9999E is explained but is not in the catalog"}));
}

TEST(MessagesDoc, PageHasATableAndASectionPerCode) {
  const Explanations e = parse_explanations(kSource);
  const std::string md =
      messages_markdown({{"ZRNCF1338E", "This command | must be run. \nBy root. \n"}, {"ZRNCF1302E", "Hold.\n"}}, e);
  EXPECT_NE(md.find("Intro line.\n\n| Code | Text |\n|---|---|\n"
                    "| [ZRNCF1338E](#zrncf1338e) | This command \\| must be run. By root. |\n"),
            std::string::npos);
  EXPECT_NE(md.find("\n## ZRNCF1338E\n\n```\nThis command | must be run.\nBy root.\n```\n\n**When it appears.**"),
            std::string::npos);
  EXPECT_NE(md.find("\n## ZRNCF1302E\n\n```\nHold.\n```\n\n*No explanation yet.*\n"), std::string::npos);
}

// Every coded message of the catalog is explained, with both paragraphs.
TEST(MessagesDoc, EveryCatalogCodeIsExplained) {
  const auto problems = explanation_problems(
      coded_messages(), parse_explanations(read_text_file(std::string(ZARN_DOCS_DIR) + "/message-explanations.md")));
  EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
}

// The committed page is what the build makes; after a change of the catalog
// or the explanations, "cmake --build <build> --target messages_doc".
TEST(MessagesDoc, CommittedPageIsCurrent) {
  const std::string expected = messages_markdown(
      coded_messages(), parse_explanations(read_text_file(std::string(ZARN_DOCS_DIR) + "/message-explanations.md")));
  EXPECT_TRUE(read_text_file(std::string(ZARN_DOCS_DIR) + "/messages.md") == expected)
      << "docs/messages.md is out of date: cmake --build <build> --target messages_doc";
}

}  // namespace
}  // namespace docgen
