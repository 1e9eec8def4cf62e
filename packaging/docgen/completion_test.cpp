#include "completion.h"

#include <gtest/gtest.h>

namespace docgen {
namespace {

OptionDoc option(std::string name, std::string shortest, std::string placeholder) {
  OptionDoc doc;
  doc.name = std::move(name);
  doc.shortest = std::move(shortest);
  doc.placeholder = std::move(placeholder);
  return doc;
}

TEST(Completion, EveryAbbreviationOfAValueOptionCompletesItsValue) {
  OptionDoc dns = option("-dns", "-dn", "on|off");
  dns.words = {"on", "off"};
  OptionDoc levels = option("-audit_level", "-audit_lev", "item[,item...]");
  levels.words = {"all", "none"};
  levels.word_list = true;
  OptionDoc rsp = option("-rspfile", "-rspfile", "file_name");
  rsp.file = true;
  const std::string script = bash_completion({dns, levels, rsp, option("-suffix", "-su", "x"), option("-?", "-?", "")});
  EXPECT_NE(script.find("    '-dn'|'-dns')\n      _zarncfg_words 'on off'\n"), std::string::npos);
  EXPECT_NE(script.find("    '-audit_lev'|'-audit_leve'|'-audit_level')\n      _zarncfg_list 'all none'\n"),
            std::string::npos);
  EXPECT_NE(script.find("    '-rspfile')\n      _zarncfg_files\n"), std::string::npos);
  EXPECT_NE(script.find("    '-su'|'-suf'|'-suff'|'-suffi'|'-suffix')\n      :\n"), std::string::npos);
  EXPECT_EQ(script.find("'-?')"), std::string::npos);  // no value to complete
  EXPECT_NE(script.find("_zarncfg_options='-dns -audit_level -rspfile -suffix -?'\n"), std::string::npos);
  EXPECT_NE(script.find("complete -F _zarncfg zarncfg\n"), std::string::npos);
}

}  // namespace
}  // namespace docgen
