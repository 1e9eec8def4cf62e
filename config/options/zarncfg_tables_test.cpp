#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "zarncfg_record.h"
#include "zarncfg_tables.h"

namespace {

TEST(Catalog, EveryHelpMessageOfTheOptionsExists) {
  std::set<vd_msgid_t> present;
  for (const auto& entry : zarncfg_svc_msg_table) present.insert(entry.id);
  for (const auto& def : config_option_def) EXPECT_EQ(present.count(def.help), 1u) << def.name;
}

TEST(OptionTables, RowNumbersAreOptionIndexes) {
  for (std::size_t row = 0; row < config_option_def.size(); ++row) {
    EXPECT_EQ(config_option_def[row].index, static_cast<int>(row));
    const std::uint32_t other_bits = config_option_def[row].flags & ~(OPT_MIN_ABBREV_MASK | OPT_VALUE_REQUIRED);
    EXPECT_EQ(other_bits, 0u) << config_option_def[row].name;
  }
}

// Every abbreviation an argument can take matches at most one row.
TEST(OptionTables, MinimumAbbreviationsAreUnique) {
  for (const auto& a : config_option_def) {
    const std::string name = a.name;
    const std::size_t min_length = a.flags & OPT_MIN_ABBREV_MASK;
    ASSERT_LE(min_length, name.size()) << name;
    for (std::size_t length = min_length; length <= name.size(); ++length) {
      const std::string word = name.substr(0, length);
      int matches = 0;
      for (const auto& b : config_option_def) {
        const std::string other = b.name;
        const std::size_t other_min = b.flags & OPT_MIN_ABBREV_MASK;
        if (word.size() >= other_min && other.compare(0, word.size(), word) == 0) ++matches;
      }
      EXPECT_EQ(matches, 1) << word;
    }
  }
}

TEST(OptionTables, InformationRequestsTakeNoValue) {
  const std::set<int> requests = {15, 22, 38, 40, 41, 43};
  for (const auto& def : config_option_def) {
    EXPECT_EQ((def.flags & OPT_VALUE_REQUIRED) == 0, requests.count(def.index) == 1) << def.name;
  }
}

TEST(OptionTables, StanzaMapNamesEachOptionOnce) {
  std::set<int> seen;
  std::set<std::pair<std::string, std::string>> places;
  for (const auto& row : config_stanza_option_map) {
    EXPECT_TRUE(seen.insert(row.index).second) << row.index;
    EXPECT_TRUE(places.insert({row.stanza, row.entry}).second) << row.stanza << "/" << row.entry;
  }
  for (int unmapped : {15, 19, 22, 28, 38, 40, 41, 43}) EXPECT_EQ(seen.count(unmapped), 0u) << unmapped;
}

TEST(OptionTables, RequirementsCheckEachOptionAtMostOnce) {
  std::set<int> seen;
  for (const auto& row : zarndconf_min_max_requirements) {
    EXPECT_TRUE(seen.insert(row.index()).second) << row.index();
    EXPECT_EQ(row.flags & ~(REQ_INDEX_MASK | (REQ_KIND_MASK << REQ_KIND_SHIFT)), 0u);
    if (row.kind() == REQ_MEMBER_OF_SET) {
      ASSERT_NE(row.value_set, nullptr);
    } else {
      EXPECT_EQ(row.value_set, nullptr);
    }
  }
  EXPECT_EQ(zarndconf_min_max_requirements[20].maximum, static_cast<int>(BREVIK_LEVEL_ITEMS.size()));
  EXPECT_EQ(zarndconf_min_max_requirements[32].maximum, static_cast<int>(ZARND_DELETE_ITEMS.size()));
  EXPECT_EQ(zarndconf_min_max_requirements[5].maximum, INT32_LARGEST / 60);
}

TEST(OptionTables, DeleteItemsAreOptionNames) {
  for (std::string_view item : ZARND_DELETE_ITEMS) {
    const bool found = std::any_of(config_option_def.begin(), config_option_def.end(),
                                   [&](const ConfigOptionDef& def) { return bare_option_name(def) == item; });
    EXPECT_TRUE(found) << item;
  }
  for (int required : zarncfg_required_options) {
    const auto name = bare_option_name(config_option_def[static_cast<std::size_t>(required)]);
    EXPECT_EQ(std::count(ZARND_DELETE_ITEMS.begin(), ZARND_DELETE_ITEMS.end(), name), 0);
  }
}

TEST(ConfigRecord, AlreadyConfiguredNeedsExactlyOnFromTheFiles) {
  ConfigRecord record{};
  record[IDX_CONFIG_STATE].value = "on";
  EXPECT_FALSE(is_already_configured(record));
  record[IDX_CONFIG_STATE].flags = CFG_CURRENT;
  EXPECT_TRUE(is_already_configured(record));
  record[IDX_CONFIG_STATE].value = "On";
  EXPECT_FALSE(is_already_configured(record));
}

}  // namespace
