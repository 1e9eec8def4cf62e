// Looks up texts of the program's message catalog for the documentation
// generators.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace docgen {

// The text of catalog message `number`; throws std::out_of_range when the
// catalog has no such message.
std::string_view catalog_text(unsigned number);

struct CodedMessage {
  std::string code;  // "ZRNCF1338E"
  std::string text;  // the sentence after the code and its blanks
};

// Every catalog message that carries a code, in catalog order.
std::vector<CodedMessage> coded_messages();

// A help sentence as one line: tabs and line breaks become single blanks.
std::string one_line(std::string_view text);

}  // namespace docgen
