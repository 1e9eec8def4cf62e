#include "option_docs.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace docgen {
namespace {

const OptionDoc& find(const std::vector<OptionDoc>& docs, const std::string& name) {
  const auto it = std::find_if(docs.begin(), docs.end(), [&](const OptionDoc& d) { return d.name == name; });
  if (it == docs.end()) throw std::runtime_error("no option " + name);
  return *it;
}

bool has_fact(const OptionDoc& doc, const std::string& fact) {
  return std::find(doc.facts.begin(), doc.facts.end(), fact) != doc.facts.end();
}

TEST(OptionDocs, OneRowPerOptionInTableOrder) {
  const auto docs = zarncfg_option_docs();
  ASSERT_EQ(docs.size(), 44u);
  EXPECT_EQ(docs.front().name, "-admin_cred_refresh");
  EXPECT_EQ(docs.back().name, "-?");
}

// Each kind of requirement row, the defaults, the storage and the
// properties that are not in the flag words.
TEST(OptionDocs, TellRangesDefaultsAndPlaces) {
  const auto docs = zarncfg_option_docs();
  const OptionDoc& port = find(docs, "-ssl_listening_port");
  EXPECT_EQ(port.placeholder, "port_to_listen_for_notification");
  EXPECT_TRUE(has_fact(port, "A whole number from 0 to 65535, written as plain digits."));
  EXPECT_TRUE(has_fact(port, "Default: 7134."));
  EXPECT_TRUE(has_fact(port,
                       "Response file and configuration: stanza ssl, entry ssl-listening-port of "
                       "/opt/zarn/etc/zarnd.conf."));
  const OptionDoc& hold = find(docs, "-cred_hold");
  EXPECT_EQ(hold.shortest, "-cred_h");
  EXPECT_TRUE(has_fact(hold, "-delete can remove it."));
  EXPECT_TRUE(has_fact(find(docs, "-suffix"), "At most 1023 characters."));
  EXPECT_TRUE(
      has_fact(find(docs, "-suffix"), "Required on a first configuration; a reconfiguration cannot change it."));
  EXPECT_TRUE(has_fact(find(docs, "-autostart"), "Default: on."));
  EXPECT_TRUE(has_fact(find(docs, "-sec_master_pwd"),
                       "Response file: stanza zarncfg, entry sec-master-pwd. Never written to a configuration file."));
  EXPECT_TRUE(has_fact(find(docs, "-lrd_config"), "Command line only."));
  EXPECT_FALSE(has_fact(find(docs, "-branch"), "-delete can remove it."));
  EXPECT_TRUE(has_fact(find(docs, "-lrd_logs"), "zarncfg does not check the value."));
  EXPECT_FALSE(has_fact(find(docs, "-rspfile"), "zarncfg does not check the value."));
}

TEST(OptionDocs, CompletionWordsAndFiles) {
  const auto docs = zarncfg_option_docs();
  EXPECT_EQ(find(docs, "-dns").words, (std::vector<std::string>{"on", "off"}));
  EXPECT_FALSE(find(docs, "-dns").word_list);
  EXPECT_EQ(find(docs, "-lrd_config").words, (std::vector<std::string>{"on", "off"}));
  const OptionDoc& levels = find(docs, "-audit_level");
  EXPECT_TRUE(levels.word_list);
  EXPECT_EQ(levels.words.size(), 11u);
  EXPECT_EQ(levels.words.front(), "all");
  EXPECT_EQ(find(docs, "-delete").words.size(), 26u);
  EXPECT_TRUE(find(docs, "-rspfile").file);
  EXPECT_TRUE(find(docs, "-ldap_ssl_cacert").file);
  EXPECT_FALSE(find(docs, "-suffix").file);
  EXPECT_TRUE(find(docs, "-suffix").words.empty());
}

TEST(OptionDocs, InformationRequestsTakeNoValue) {
  const auto docs = zarncfg_option_docs();
  for (const char* name : {"-help", "-operations", "-usage", "-version", "-V", "-?"}) {
    EXPECT_EQ(find(docs, name).placeholder, "") << name;
  }
  EXPECT_EQ(find(docs, "-help").summary, "Displays help for each of the options.");
}

}  // namespace
}  // namespace docgen
