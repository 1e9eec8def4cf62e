#include "man_page.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "text_file.h"
#include "tool_usage.h"
#include "zarncfg_tables.h"
#include "zarnctl_status_keys.h"

namespace docgen {
namespace {

std::string page(std::string_view name) {
  const std::string source = read_text_file(std::string(ZARN_MAN_SOURCE_DIR) + "/" + std::string(name) + ".8.in");
  for (const ManPage& row : man_pages()) {
    if (row.name == name) return fill_template(source, render_entries(row.entries()));
  }
  throw std::runtime_error("no page " + std::string(name));
}

TEST(ManPage, RoffEscapesHyphensBackslashesAndRequests) {
  EXPECT_EQ(roff_escape("-cred_hold"), "\\-cred_hold");
  EXPECT_EQ(roff_escape("a\\b"), "a\\eb");
  EXPECT_EQ(roff_escape(".TH"), "\\&.TH");
  EXPECT_EQ(roff_escape("'x"), "\\&'x");
  EXPECT_EQ(roff_escape("x.y"), "x.y");
}

TEST(ManPage, TheGeneratedSectionTakesThePlaceOfItsLine) {
  EXPECT_EQ(fill_template(".SH A\n@GENERATED@\n.SH B\n", ".TP\nx\n"), ".SH A\n.TP\nx\n.SH B\n");
  EXPECT_THROW(fill_template(".SH A\n", "x"), std::invalid_argument);
  EXPECT_THROW(fill_template(".SH A @GENERATED@\n", "x"), std::invalid_argument);
}

TEST(ManPage, EntriesAreTaggedParagraphs) {
  const std::string roff = render_entries({{"\\fB\\-x\\fR \\fIn\\fR", {"First.", "-y can remove it."}}});
  EXPECT_EQ(roff, ".TP\n\\fB\\-x\\fR \\fIn\\fR\nFirst.\n\\-y can remove it.\n");
}

// Every option of the table has its entry in zarncfg(8).
TEST(ManPage, ZarncfgPageHasEveryOptionOfTheTable) {
  const std::string text = page("zarncfg");
  std::vector<std::string> missing;
  for (const ConfigOptionDef& def : config_option_def) {
    if (text.find(".TP\n\\fB" + roff_escape(def.name) + "\\fR") == std::string::npos) missing.push_back(def.name);
  }
  EXPECT_TRUE(missing.empty()) << "missing from zarncfg(8): " << ::testing::PrintToString(missing);
  EXPECT_NE(text.find("\\fB\\-ssl_listening_port\\fR \\fIport_to_listen_for_notification\\fR\n"
                      "Port to listen for notifications.\nShortest form: \\-ss.\n"
                      "A whole number from 0 to 65535, written as plain digits.\n"),
            std::string::npos);
}

// The prose of the page names only options the program has.
TEST(ManPage, ZarncfgPageNamesNoOptionOutsideTheTable) {
  std::set<std::string> known;
  for (const ConfigOptionDef& def : config_option_def) known.insert(std::string(def.name).substr(1));
  const std::string text = page("zarncfg");
  static const std::regex named(R"((?:^\.B[IR]? |\\fB|^\.RB \[ )\\-([a-z_]+))", std::regex::multiline);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), named); it != std::sregex_iterator(); ++it) {
    EXPECT_TRUE(known.contains((*it)[1])) << "zarncfg(8) names -" << (*it)[1];
  }
}

TEST(ManPage, ZarnctlPageHasEveryJsonKey) {
  const std::string text = page("zarnctl");
  for (const StatusKey& row : kStatusKeys) {
    EXPECT_NE(text.find(".TP\n\\fB" + roff_escape(row.key) + "\\fR\n"), std::string::npos) << row.key;
  }
}

TEST(ManPage, KxadminPageHasEveryCommandForm) {
  const std::string text = page("kxadmin");
  for (const kxtool::CommandForm& command : kxtool::kCommandForms) {
    EXPECT_NE(text.find(".TP\n\\fB" + roff_escape(command.form) + "\\fR\n"), std::string::npos) << command.form;
  }
}

// The usage line as kxadmin prints it, made from the same table.
TEST(ManPage, KxadminUsageLineIsUnchanged) {
  EXPECT_EQ(kxtool::usage_line(),
            "usage: kxadmin [--store PATH] init [--sec-master-pwd PASSWORD] [--force] | dump [--undo] | migrate"
            " | objectspace list | object list | acl list | acl show NAME | user list [PATTERN]"
            " | group list | group show NAME | action list"
            " | fault API [NAME] [--code N] [--reason R] [--count K] | fault list | fault clear"
            " | run list [HOST] | run rollback HOST PID STARTED | run discard HOST PID STARTED | lease list\n");
}

}  // namespace
}  // namespace docgen
