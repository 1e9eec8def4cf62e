#include "usage_arguments.h"

#include <gtest/gtest.h>

#include "catalog_text.h"

namespace docgen {
namespace {

TEST(UsageArguments, ReadsPlaceholdersChoicesAndRequiredOptions) {
  const auto arguments = usage_arguments(
      "Usage: \nzarncfg \n[-cred_hold <number_of_minutes>] \n-branch <policy_branch_name> \n"
      "[-audit_level (all | none | \npermit)] \n[-delete (comma_delimited_list_of_options)] \n[-help] \n");
  ASSERT_EQ(arguments.size(), 5u);
  EXPECT_EQ(arguments.at("-cred_hold").placeholder, "number_of_minutes");
  EXPECT_FALSE(arguments.at("-cred_hold").required);
  EXPECT_TRUE(arguments.at("-branch").required);
  EXPECT_EQ(arguments.at("-audit_level").choices, (std::vector<std::string>{"all", "none", "permit"}));
  EXPECT_EQ(arguments.at("-delete").placeholder, "comma_delimited_list_of_options");
  EXPECT_TRUE(arguments.at("-delete").choices.empty());
  EXPECT_EQ(arguments.at("-help").placeholder, "");
}

TEST(UsageArguments, TheProgramsUsageTextNamesEveryOption) {
  const auto arguments = usage_arguments(catalog_text(141));
  EXPECT_EQ(arguments.size(), 44u);
  EXPECT_EQ(arguments.at("-lrd_config").choices, (std::vector<std::string>{"on", "off"}));
  EXPECT_EQ(arguments.at("-audit_level").choices.size(), 11u);
  EXPECT_TRUE(arguments.at("-suffix").required);
}

}  // namespace
}  // namespace docgen
